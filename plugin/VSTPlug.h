// The plug-in object: one per host instance. Owns the program bank, the voice
// engine, the output stage and the editor, and runs the audio block.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "plugin/AudioEffectX.h"

class BodyResonator;
class HalfBandFilter;
class MyGui;
class ProgramBank;
class StereoChorus;
class VoiceEngine;

class VSTPlug : public AudioEffectX {
public:
    static constexpr int kNumPrograms = 8;
    static constexpr int kNumParams = 16;
    static constexpr int kBodyBands = 3;
    static constexpr VstInt32 kMaxBufferedFrames = 16384;

    explicit VSTPlug(audioMasterCallback audioMaster);
    ~VSTPlug() override;

    // Lifecycle and audio.
    void suspend() override;
    void resume() override;
    void setSampleRate(float rate) override;
    void setBlockSize(VstInt32 size) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;

    // MIDI.
    VstInt32 processEvents(VstEvents* events) override;

    // Parameters, programs and saved state.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    bool canParameterBeAutomated(VstInt32) override { return true; }
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;

    // Identity.
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override { return 1000; }
    VstInt32 canDo(char* text) override;

    // For tests and tools inside the process.
    VoiceEngine& voiceEngine() noexcept { return *engine; }
    bool isRunning() const noexcept { return voiceBuffer != nullptr; }
    VstInt32 bufferedFrames() const noexcept { return bufferFrames; }

private:
    // Renders one piece of a host block that fits the work buffers.
    void renderPiece(float* left, float* right, VstInt32 frames, float chorusAmount, bool lastPiece) noexcept;
    // Brings the body resonators up to the latest requested gains (audio thread).
    void applyBodyRequests() noexcept;
    void requestBody(int band, float value) noexcept;
    void applyProgram() noexcept;
    void synchroniseCurrentProgram() noexcept;
    void releaseBuffers() noexcept;

    float* voiceBuffer = nullptr;
    float* mixBuffer = nullptr;
    VstInt32 bufferFrames = 0;  // host frames the work buffers hold
    std::unique_ptr<ProgramBank> bank;
    std::unique_ptr<VoiceEngine> engine;
    std::unique_ptr<HalfBandFilter> halfBandFilter;
    std::unique_ptr<BodyResonator> resonators[kBodyBands];
    std::unique_ptr<StereoChorus> chorus;
    MyGui* gui = nullptr;  // the editor, owned through AudioEffect::editor

    // Body gains are set from any thread; the audio thread picks up each band's
    // latest (Q, gain) pair whole at the start of a block, so a block never runs
    // with half of a coefficient set.
    std::atomic<std::uint64_t> bodyRequest[kBodyBands];
    std::uint64_t bodyApplied[kBodyBands] = {};

    // Host copies for getChunk, refreshed on each call under stateMutex: the host
    // reads them after the call returns, while other host threads may switch
    // programs or restore state and so rewrite the bank itself.
    float presetChunk[kNumParams] = {};
    alignas(float) unsigned char bankChunk[kNumPrograms * 88] = {};
    // Serialises program switches, renames and state saves/restores between host
    // threads. Never taken by the audio block.
    std::mutex stateMutex;
};
