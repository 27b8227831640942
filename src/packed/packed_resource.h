#pragma once
// Files that the program stores compressed, as packed bundles (packed/packed_bundle.h) in RCDATA
// resources of its own module.

#include <optional>
#include <string>

namespace kv::packed {

// The entry `entryId` of the bundle in RCDATA resource `bundleId`; empty when either is missing
// or the bundle is damaged.
std::optional<std::string> LoadPackedResource(int bundleId, int entryId);

}  // namespace kv::packed
