// run_playback against a hostile device, through the scripted fake of the
// platform layer: arbitrary request streams (garbage, repeated "h", "d"
// before "h", "e" and "f" anywhere), quiet and failing reads, and injected
// faults on TAP reads and port writes. The fake's script is finite and its
// exhaustion fails the read, so every run ends.
//
// Input: six set-up bytes (flags; start offset; TAP read fault call and
// count; port write fault call and count), a byte with the TAP file's
// length, the file, then the device's script: 0xF0 a quiet read, 0xF1 a
// failed read, 0xF2 text ending with the prompt, 0xF3 the echo, any other
// byte sent alone. Flag bit 0 puts a well-behaved handshake in front.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fake/fake_platform.h"
#include "link/playback.h"
#include "link/serial_link.h"
#include "tape/tape_image.h"

namespace {

constexpr char kPort[] = "COM9";
constexpr char kTape[] = "game.tap";

void check(bool condition) {
    if (!condition) abort();
}

FakePortStep step_for(uint8_t b) {
    switch (b) {
        case 0xF0: return port_quiet();
        case 0xF1: return port_failure(0);
        // No lower-case request letter in it: a stray "e" must come alone.
        case 0xF2: return port_bytes("TAVREL READY\r\n> ");
        case 0xF3: return port_bytes("p\r\n");
        default: return port_bytes(std::string(1, static_cast<char>(b)));
    }
}

std::string script_bytes(const std::deque<FakePortStep>& script) {
    std::string all;
    for (const FakePortStep& step : script) {
        if (step.kind == FakePortStep::Kind::kBytes) all += step.bytes;
    }
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The time line and the success message; run with -close_fd_mask=2 to
    // silence the error messages as well.
    if (freopen("/dev/null", "w", stdout) == nullptr) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 7) return 0;
    const uint8_t flags = data[0];
    const size_t file_size = data[6];
    if (size < 7 + file_size) return 0;

    fake_platform_reset();
    FakeFile& file = fake_file(kTape, std::string(reinterpret_cast<const char*>(data + 7),
                                                  file_size));
    const uint32_t start_offset = (flags & 0x02) != 0 ? kTapHeaderSize + data[1] : kTapHeaderSize;
    if ((flags & 0x04) != 0) {
        file.read_fault.call = data[2];
        file.read_fault.result = IoResult{(data[3] & 0x80) != 0, data[3] & 0x7Fu};
    }
    if ((flags & 0x08) != 0) {
        fake_platform.port_write_fault.call = data[4];
        fake_platform.port_write_fault.result = IoResult{(data[5] & 0x80) != 0, data[5] & 0x7Fu};
    }

    if ((flags & 0x01) != 0) {
        fake_platform.port_script.push_back(step_for(0xF2));
        fake_platform.port_script.push_back(step_for(0xF3));
    }
    for (size_t i = 7 + file_size; i < size; ++i) {
        fake_platform.port_script.push_back(step_for(data[i]));
    }
    const std::string offered = script_bytes(fake_platform.port_script);

    // What main does before the exchange.
    SerialLink link;
    check(open_serial_link(kPort, &link));
    TapeImage tape;
    const TapeOpenOutcome opened = open_tape_image(kTape, &tape);
    if (opened != TapeOpenOutcome::kOpened) {
        check(file_size < kTapHeaderSize && opened == TapeOpenOutcome::kFailedTest);
        return 0;
    }
    const int status = run_playback(&link, &tape, start_offset);
    fflush(stdout);

    check(status == 0 || status == 1);

    // Both handles closed, each once, the port first.
    check(fake_platform.open_handles.empty());
    for (const std::string& entry : fake_platform.log) check(entry.rfind("close unknown", 0) != 0);
    const int port_closed = fake_log_index(std::string("close port ") + kPort);
    const int tape_closed = fake_log_index(std::string("close file ") + kTape);
    check(port_closed >= 0 && tape_closed > port_closed);
    check(tape_closed == static_cast<int>(fake_platform.log.size()) - 1);

    // A run that read past the script's end stopped at that failed read.
    const int exhausted = fake_log_index("port script exhausted");
    if (exhausted >= 0) check(status == 1 && fake_log_count("port script exhausted") == 1);

    // Success only right after the device's "e".
    const std::string left = script_bytes(fake_platform.port_script);
    const std::string delivered = offered.substr(0, offered.size() - left.size());
    if (status == 0) check(!delivered.empty() && delivered.back() == 'e');

    // Writes: the play command first, then only headers, data blocks of at
    // most 64 bytes, and the single-byte notice.
    const auto& writes = fake_platform.port_writes;
    if (!writes.empty()) check(writes.front() == "p\r");
    for (size_t i = 1; i < writes.size(); ++i) check(writes[i].size() <= kDataChunkSize);
    return 0;
}
