#include "WinPlatform.h"

#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::optional<TCommStateReadBack> ReadCommState(std::int32_t port) {
    const std::string path = "\\\\.\\COM" + std::to_string(port);
    const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    const BOOL ok = ::GetCommState(handle, &dcb);
    ::CloseHandle(handle);
    if (!ok)
        return std::nullopt;
    return TCommStateReadBack{
        .BaudRate = dcb.BaudRate,
        .ByteSize = dcb.ByteSize,
        .Parity = dcb.Parity,
        .StopBits = dcb.StopBits,
        .Binary = dcb.fBinary != 0,
        .ParityCheck = dcb.fParity != 0,
        .OutxCtsFlow = dcb.fOutxCtsFlow != 0,
        .OutxDsrFlow = dcb.fOutxDsrFlow != 0,
        .OutX = dcb.fOutX != 0,
        .InX = dcb.fInX != 0,
        .Null = dcb.fNull != 0,
        .AbortOnError = dcb.fAbortOnError != 0,
        .DtrControl = dcb.fDtrControl,
        .RtsControl = dcb.fRtsControl,
        .XonLim = dcb.XonLim,
        .XoffLim = dcb.XoffLim,
    };
}
