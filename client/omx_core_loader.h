// The one place the OpenMAX IL core library is opened, resolved and closed (omx_test and
// omx_cases): "libZYN_OMX_Core.so" by name, its six entry points in a table.
#pragma once

#include <functional>

#include <OMX_Core.h>

typedef OMX_ERRORTYPE (*InitFunc)(void);
typedef OMX_ERRORTYPE (*DeinitFunc)(void);
typedef OMX_ERRORTYPE (*ComponentNameEnumFunc)(OMX_STRING, OMX_U32, OMX_U32);
typedef OMX_ERRORTYPE (*GetHandleFunc)(OMX_HANDLETYPE *, OMX_STRING, OMX_PTR, OMX_CALLBACKTYPE *);
typedef OMX_ERRORTYPE (*FreeHandleFunc)(OMX_HANDLETYPE);
typedef OMX_ERRORTYPE (*GetRolesOfComponentFunc)(OMX_STRING, OMX_U32 *, OMX_U8 **);

// The six core entry points, in the order they are resolved.
typedef struct OMX_CORE_INTERFACE {
    InitFunc init;
    DeinitFunc deinit;
    ComponentNameEnumFunc componentname_enum;
    GetHandleFunc get_handle;
    FreeHandleFunc free_handle;
    GetRolesOfComponentFunc get_roles_of_component;
} OMX_CORE_INTERFACE;

inline constexpr const char kOmxCoreLibrary[] = "libZYN_OMX_Core.so";

class OmxCoreLibrary
{
public:
    // Installs the call guard (omx_guard.h), opens the library and prints " libZYN_OMX_Core.so opened succesfully", or
    // the dlopen error line and "libZYN_OMX_Core.so open FAIL".
    OmxCoreLibrary();
    ~OmxCoreLibrary();
    OmxCoreLibrary(const OmxCoreLibrary &) = delete;
    OmxCoreLibrary &operator=(const OmxCoreLibrary &) = delete;

    bool is_open() const { return library_ != nullptr; }

    // Looks the entry points up in table order. Each one missing is handed to `missing` (right
    // after the failed look-up, so dlerror() still tells why); the look-ups stop there when it
    // returns false. True when all six were found; the table then holds the guarded entry points.
    bool resolve(OMX_CORE_INTERFACE *core, const std::function<bool(const char *symbol)> &missing);

private:
    void *library_ = nullptr;
};
