#include "packed/packed_resource.h"

#include <windows.h>

#include "packed/packed_bundle.h"

namespace kv::packed {

std::optional<std::string> LoadPackedResource(int bundleId, int entryId) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(bundleId), RT_RCDATA);
    if (!found) return std::nullopt;
    HGLOBAL loaded = ::LoadResource(module, found);
    const auto* bytes =
        loaded ? static_cast<const unsigned char*>(::LockResource(loaded)) : nullptr;
    if (!bytes) return std::nullopt;
    return UnpackEntry({bytes, ::SizeofResource(module, found)}, entryId);
}

}  // namespace kv::packed
