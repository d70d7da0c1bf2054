// What the VST 2 build tells hosts about itself. Hosts and saved songs find the
// plug-in by its unique ID, so none of these may ever change.
#pragma once

#include "Hammerlyn2Version.h"
#include "plugin/VstAbi.h"

namespace PluginIdentity {
inline constexpr VstInt32 kUniqueId = fourCharCode('Q', 'F', 'H', '2');
inline constexpr const char* kEffectName = "Hammerlyn2";
inline constexpr const char* kVendor = "Quillfeather";
inline constexpr const char* kProduct = "Quillfeather' Hammerlyn2";
inline constexpr VstInt32 kVendorVersion = HAMMERLYN2_VERSION_VST2;
// The effect record's version, which hosts write into preset files beside the ID.
inline constexpr VstInt32 kEffectVersion = 1;
}  // namespace PluginIdentity
