// The texts VST3 and CLAP hosts show for a parameter value and read from typed
// text: the instrument's own (ParameterTable), behind DPF's hooks.
#include "DistrhoPluginInfo.h"

#include "instrument/ParameterTable.h"

bool hammerlyn2ParameterValueText(std::uint32_t index, double value, char* text, std::size_t size) noexcept {
    return index < static_cast<std::uint32_t>(kParameterCount) &&
           formatParameterValueText(static_cast<int>(index), static_cast<float>(value), text, size);
}

bool hammerlyn2ParameterTextValue(std::uint32_t index, const char* text, double* value) noexcept {
    float knob = 0.0f;
    if (index >= static_cast<std::uint32_t>(kParameterCount) || !readParameterText(static_cast<int>(index), text, &knob))
        return false;
    *value = knob;
    return true;
}
