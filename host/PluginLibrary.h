// Loads a VST 2.4 plug-in library by path and finds its entry point, as a host does.
#pragma once

#include <string>

#include "plugin/VstAbi.h"

using VstPluginMainProc = AEffect*(VSTCALLBACK*)(audioMasterCallback);

class PluginLibrary {
public:
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool loaded() const { return entryPoint != nullptr; }
    // Why loading failed, in one line.
    const std::string& error() const { return failure; }
    // VSTPluginMain, or the older name main when only that exists.
    VstPluginMainProc entry() const { return entryPoint; }
    // Looks up any exported symbol.
    void* symbol(const char* name) const;

private:
    void* handle = nullptr;
    VstPluginMainProc entryPoint = nullptr;
    std::string failure;
};
