// The parameter ids VST3 hosts see, fixed for good (saved songs and automation
// find parameters through them): the instrument's own first, each with the id
// of its row in kParameterIdentities; then DPF's internal parameters at fixed
// places (program, latency, buffer size, sample rate: a place keeps its id
// whether a build has that parameter or not, so the program parameter and the
// controllers keep their ids in builds with and without a panel); then, per
// MIDI channel, one hidden parameter for each controller the instrument reads
// from VST3's controller parameters. Hosts offer parameters for automation by
// their place in the list up to a limit (Ardour: 512), which DPF's own
// numbering, 16 channels of 130 controllers first, filled before ours.
// DPF keeps its own numbering inside; the patched wrapper translates.
#pragma once

#include <cstdint>

#include "instrument/identity/ParameterIdentity.h"

class Vst3ParameterIds {
public:
    static constexpr std::uint32_t kNone = 0xffffffffu;

    // DPF's internal parameters, in the order of their ids.
    enum Place : std::uint32_t { Program, Latency, BufferSize, SampleRate, kPlaceCount };
    // The controllers read, in DPF's numbering (0..127 controllers, 128 channel
    // pressure, 129 pitch bend): all notes off, mono mode on and pitch bend.
    static constexpr std::uint8_t kControllers[] = {123, 126, 129};
    static constexpr std::uint32_t kControllerCount = sizeof(kControllers);
    static constexpr std::uint32_t kChannels = 16;

    // What an id names: one of ours (first: its index), a place (first), a
    // channel's controller (first: the channel, second: the controller), or nothing.
    enum Kind { None, Parameter, Internal, Controller };

    static std::uint32_t ofParameter(std::uint32_t index) noexcept;
    static std::uint32_t ofPlace(std::uint32_t place) noexcept;
    // kNone for a controller the instrument does not read.
    static std::uint32_t ofController(std::uint32_t channel, std::uint32_t controller) noexcept;
    static Kind find(std::uint32_t id, std::uint32_t& first, std::uint32_t& second) noexcept;

    // The host's list holds our parameters, then the places a build has (its
    // `places`, `placeCount` of them, in the order of their ids), then the controllers.
    static std::uint32_t count(std::uint32_t placeCount) noexcept;
    static std::uint32_t at(std::uint32_t position, const std::uint32_t* places, std::uint32_t placeCount) noexcept;

    // DPF's own numbering, which the patched wrapper keeps inside: the places a
    // build has (`places`, in DPF's order), then 16 channels of 130 controllers,
    // then ours. kNone, or false, where the other side has nothing.
    static constexpr std::uint32_t kDpfControllers = 130;
    static std::uint32_t ofDpfIndex(std::uint32_t index, const std::uint32_t* places, std::uint32_t placeCount) noexcept;
    static bool dpfIndexOf(std::uint32_t id, const std::uint32_t* places, std::uint32_t placeCount,
                           std::uint32_t& index) noexcept;
};
