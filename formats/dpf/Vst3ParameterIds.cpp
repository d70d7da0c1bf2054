#include "Vst3ParameterIds.h"

namespace {

// The hidden parameters follow ours: our ids must be 0..15, each once.
constexpr bool idsAreTheIndices() {
    for (int i = 0; i < kParameterCount; ++i)
        if (kParameterIdentities[i].id >= static_cast<std::uint32_t>(kParameterCount)) return false;
    for (int i = 0; i < kParameterCount; ++i)
        for (int j = i + 1; j < kParameterCount; ++j)
            if (kParameterIdentities[i].id == kParameterIdentities[j].id) return false;
    return true;
}
static_assert(idsAreTheIndices(), "the VST3 and CLAP ids are 0..15, each once");

constexpr std::uint32_t kOwn = kParameterCount;
constexpr std::uint32_t kFirstController = kOwn + Vst3ParameterIds::kPlaceCount;

}  // namespace

std::uint32_t Vst3ParameterIds::ofParameter(std::uint32_t index) noexcept {
    return index < kOwn ? kParameterIdentities[index].id : kNone;
}

std::uint32_t Vst3ParameterIds::ofPlace(std::uint32_t place) noexcept {
    return place < kPlaceCount ? kOwn + place : kNone;
}

std::uint32_t Vst3ParameterIds::ofController(std::uint32_t channel, std::uint32_t controller) noexcept {
    for (std::uint32_t i = 0; i < kControllerCount && channel < kChannels; ++i)
        if (kControllers[i] == controller) return kFirstController + channel * kControllerCount + i;
    return kNone;
}

Vst3ParameterIds::Kind Vst3ParameterIds::find(std::uint32_t id, std::uint32_t& first, std::uint32_t& second) noexcept {
    for (std::uint32_t i = 0; i < kOwn; ++i) {
        if (kParameterIdentities[i].id != id) continue;
        first = i;
        return Parameter;
    }
    if (id >= kOwn && id < kFirstController) {
        first = id - kOwn;
        return Internal;
    }
    if (id >= kFirstController && id - kFirstController < kChannels * kControllerCount) {
        first = (id - kFirstController) / kControllerCount;
        second = kControllers[(id - kFirstController) % kControllerCount];
        return Controller;
    }
    return None;
}

std::uint32_t Vst3ParameterIds::count(std::uint32_t placeCount) noexcept {
    return kOwn + placeCount + kChannels * kControllerCount;
}

std::uint32_t Vst3ParameterIds::at(std::uint32_t position, const std::uint32_t* places, std::uint32_t placeCount) noexcept {
    if (position < kOwn) return kParameterIdentities[position].id;
    position -= kOwn;
    if (position < placeCount) {
        // The places a build has, in the order of their ids.
        for (std::uint32_t place = 0; place < kPlaceCount; ++place)
            for (std::uint32_t i = 0; i < placeCount; ++i)
                if (places[i] == place && position-- == 0) return ofPlace(place);
        return kNone;
    }
    position -= placeCount;
    return position < kChannels * kControllerCount ? kFirstController + position : kNone;
}

std::uint32_t Vst3ParameterIds::ofDpfIndex(std::uint32_t index, const std::uint32_t* places, std::uint32_t placeCount) noexcept {
    const std::uint32_t controllers = kChannels * kDpfControllers;
    if (index >= placeCount + controllers) return ofParameter(index - placeCount - controllers);
    if (index < placeCount) return ofPlace(places[index]);
    return ofController((index - placeCount) / kDpfControllers, (index - placeCount) % kDpfControllers);
}

bool Vst3ParameterIds::dpfIndexOf(std::uint32_t id, const std::uint32_t* places, std::uint32_t placeCount,
                                  std::uint32_t& index) noexcept {
    std::uint32_t first = 0, second = 0;
    switch (find(id, first, second)) {
    case Parameter: index = placeCount + kChannels * kDpfControllers + first; return true;
    case Controller: index = placeCount + first * kDpfControllers + second; return true;
    case Internal:
        for (index = 0; index < placeCount; ++index)
            if (places[index] == first) return true;
        return false;
    default: return false;
    }
}
