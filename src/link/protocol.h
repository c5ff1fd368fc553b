// The fixed texts and request bytes of the exchange with the device.
#pragma once

#include <cstdint>

inline constexpr char kPromptText[] = "> ";     // device: ready for a command
inline constexpr char kPlayCommand[] = "p\r";   // us: start playback
inline constexpr char kPlayEcho[] = "p\r\n";    // device: echo of the play command
inline constexpr char kTapeErrorNotice[] = "h"; // us: the TAP file could not be read

inline constexpr uint8_t kHeaderRequest = 'h';
inline constexpr uint8_t kDataRequest = 'd';
inline constexpr uint8_t kSuccessNotice = 'e';
inline constexpr uint8_t kFailureNotice = 'f';

// Lengths without the terminating NUL, which is never sent.
inline constexpr uint32_t kPromptLength = sizeof(kPromptText) - 1;
inline constexpr uint32_t kPlayCommandLength = sizeof(kPlayCommand) - 1;
inline constexpr uint32_t kPlayEchoLength = sizeof(kPlayEcho) - 1;

inline constexpr uint32_t kPromptReadSize = 16384;
