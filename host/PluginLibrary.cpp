#include "host/PluginLibrary.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

PluginLibrary::PluginLibrary(const std::string& path) {
#if defined(_WIN32)
    handle = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
    if (!handle) {
        failure = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return;
    }
#else
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* message = dlerror();
        failure = message ? message : ("cannot load " + path);
        return;
    }
#endif
    void* entry = symbol("VSTPluginMain");
    if (!entry) entry = symbol("main");
    if (!entry) {
        failure = path + " exports neither VSTPluginMain nor main: not a VST 2 plug-in";
        return;
    }
    entryPoint = reinterpret_cast<VstPluginMainProc>(entry);
}

PluginLibrary::~PluginLibrary() {
    if (!handle) return;
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
}

void* PluginLibrary::symbol(const char* name) const {
    if (!handle) return nullptr;
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}
