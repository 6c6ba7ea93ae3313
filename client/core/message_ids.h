#pragma once

#include <cstdint>

// Every thread and window message number of the main client, in one place.
// Worker threads wake the GUI thread with the thread messages; the windows
// send or post the window messages to each other. The numbers are fixed
// because the main loop dispatches on them in a set order.
namespace ombrix::messages {

// Thread messages to the GUI thread.
inline constexpr uint32_t kWebJobsFinished = 2024;       // finished web jobs queued
inline constexpr uint32_t kGamePipeInput = 2124;         // game pipe queue has input
inline constexpr uint32_t kDaemonPipeInput = 2125;       // daemon pipe queue has input
inline constexpr uint32_t kSignallingEvent = 2224;       // signalling events queued
inline constexpr uint32_t kVideoTransportNotice = 2225;  // owned transport notice in wParam
inline constexpr uint32_t kHeadImageDownloaded = 2226;   // friend head-image download finished

// Window messages between the client's windows.
inline constexpr uint32_t kScreenshotChosen = 2258;  // sent, never posted
inline constexpr uint32_t kTrayIconCallback = 2324;
inline constexpr uint32_t kTrayHoverCheck =
    2325;  // the hover tracker asks for the cursor to be read
inline constexpr uint32_t kLoginGuestTimer = 2424;
inline constexpr uint32_t kScriptResult = 2426;

}  // namespace ombrix::messages
