#pragma once
// Direct registry access for tests of the product's settings key: raw values of any type, written
// and read without going through the settings store, and removal of the whole key.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace kv::test {

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<unsigned char> bytes;
};

class ProductKey {
  public:
    ProductKey();  // opens (creating) the key in the 64-bit view
    ~ProductKey();
    ProductKey(const ProductKey&) = delete;
    ProductKey& operator=(const ProductKey&) = delete;

    void Set(const wchar_t* name, DWORD type, const void* data, DWORD bytes);
    void SetDword(const wchar_t* name, DWORD value) { Set(name, REG_DWORD, &value, sizeof value); }
    // False when the value is missing.
    bool Get(const wchar_t* name, RawValue& value) const;
    void Remove(const wchar_t* name);

  private:
    HKEY key_ = nullptr;
};

bool ProductKeyExists();
// Removes the product key with everything in it; the store's cached handle becomes stale, so a
// test program does this only before its first and after its last use of the store.
void DeleteProductKey();

// A test program that uses the store starts without the product key and leaves none behind:
// register with ::testing::AddGlobalTestEnvironment(new ProductKeyCleanup).
class ProductKeyCleanup : public ::testing::Environment {
  public:
    void SetUp() override { DeleteProductKey(); }
    void TearDown() override { DeleteProductKey(); }
};

}  // namespace kv::test
