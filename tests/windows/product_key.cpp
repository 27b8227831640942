#include "product_key.h"

#include "settings/settings_store.h"

namespace kv::test {

ProductKey::ProductKey() {
    RegCreateKeyExW(HKEY_CURRENT_USER, kProductSettingsKey, 0, nullptr, 0,
                    KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key_, nullptr);
}

ProductKey::~ProductKey() {
    if (key_ != nullptr) RegCloseKey(key_);
}

void ProductKey::Set(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), bytes);
}

bool ProductKey::Get(const wchar_t* name, RawValue& value) const {
    DWORD size = 0;
    if (RegQueryValueExW(key_, name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
        return false;
    }
    value.bytes.resize(size);
    return RegQueryValueExW(key_, name, nullptr, &value.type, value.bytes.data(), &size) ==
           ERROR_SUCCESS;
}

void ProductKey::Remove(const wchar_t* name) {
    RegDeleteValueW(key_, name);
}

bool ProductKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kProductSettingsKey, 0, KEY_READ | KEY_WOW64_64KEY,
                      &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

void DeleteProductKey() {
    HKEY parent = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Vexmoor", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                      &parent) != ERROR_SUCCESS) {
        return;
    }
    RegDeleteTreeW(parent, L"Kestrova Pro");
    RegCloseKey(parent);
    // The maker's key goes too when nothing else lives in it (deleting a key with subkeys fails).
    RegDeleteKeyExW(HKEY_CURRENT_USER, L"Software\\Vexmoor", KEY_WOW64_64KEY, 0);
}

}  // namespace kv::test
