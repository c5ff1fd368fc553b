// The tape image against files held by the fake platform.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fake/fake_platform.h"
#include "fake/fake_tap.h"
#include "tape/tape_image.h"

namespace {

constexpr const char* kPath = "game.tap";

template <typename Case>
std::string case_name(const testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

class TapeImageTest : public testing::Test {
protected:
    void SetUp() override { fake_platform_reset(); }

    // Opens `contents` as game.tap; the test fails unless it opens.
    void open(const std::string& contents) {
        fake_file(kPath, contents);
        testing::internal::CaptureStderr();
        const TapeOpenOutcome outcome = open_tape_image(kPath, &tape);
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_EQ(outcome, TapeOpenOutcome::kOpened) << err;
    }

    HeaderOutcome header(uint32_t start_offset, std::string* err = nullptr) {
        testing::internal::CaptureStderr();
        const HeaderOutcome outcome = read_header(&tape, start_offset, buffer);
        const std::string text = testing::internal::GetCapturedStderr();
        if (err != nullptr) *err = text;
        return outcome;
    }

    // The next block; empty, with a failure recorded, when it cannot be read.
    std::string chunk() {
        uint32_t count = 0;
        if (!read_chunk(&tape, buffer, &count)) {
            ADD_FAILURE() << "read_chunk failed";
            return "";
        }
        if (count > kDataChunkSize) {
            ADD_FAILURE() << "block of " << count << " bytes";
            return "";
        }
        return std::string(reinterpret_cast<const char*>(buffer), count);
    }

    std::string header_bytes() const {
        return std::string(reinterpret_cast<const char*>(buffer), kTapHeaderSize);
    }

    TapeImage tape;
    uint8_t buffer[kDataChunkSize];
};

// ---- Opening -----------------------------------------------------------

struct OpenCase {
    const char* name;
    size_t size;
    bool open_fails;
    bool size_fails;
    TapeOpenOutcome outcome;
    const char* message;  // on stderr, with the path in it
};

const OpenCase kOpenCases[] = {
    {"Empty", 0, false, false, TapeOpenOutcome::kFailedTest,
     "File game.tap is too short to ba a valid TAP file\n"},
    {"Size19", 19, false, false, TapeOpenOutcome::kFailedTest,
     "File game.tap is too short to ba a valid TAP file\n"},
    {"Size20", 20, false, false, TapeOpenOutcome::kOpened, ""},
    {"Size21", 21, false, false, TapeOpenOutcome::kOpened, ""},
    {"SizeUnknown", 1000, false, true, TapeOpenOutcome::kFailedTest,
     "Unable to retrieve the size of file game.tap\n"},
    {"OpenFails", 1000, true, false, TapeOpenOutcome::kCannotOpen,
     "Unable to open file game.tap for read\n"},
};

class TapeOpenTest : public TapeImageTest, public testing::WithParamInterface<OpenCase> {};

TEST_P(TapeOpenTest, OutcomeMessageAndWhatStaysOpen) {
    const OpenCase& c = GetParam();
    FakeFile& file = fake_file(kPath, std::string(c.size, 'x'));
    file.open_fails = c.open_fails;
    file.size_fails = c.size_fails;

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const TapeOpenOutcome outcome = open_tape_image(kPath, &tape);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(err, c.message);
    EXPECT_EQ(out, "");
    // Only a file that could not be opened leaves nothing for the caller to close.
    EXPECT_EQ(fake_platform.open_handles.size(), c.open_fails ? 0u : 1u);
    if (outcome == TapeOpenOutcome::kOpened) {
        EXPECT_EQ(tape.remaining, c.size);
    }
    for (const std::string& entry : fake_platform.log) {
        EXPECT_NE(entry.rfind("read_file", 0), 0u) << "opening reads nothing: " << entry;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, TapeOpenTest, testing::ValuesIn(kOpenCases),
                         case_name<OpenCase>);

TEST_F(TapeImageTest, MissingFileCannotBeOpened) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_tape_image("absent.tap", &tape), TapeOpenOutcome::kCannotOpen);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to open file absent.tap for read\n");
}

TEST_F(TapeImageTest, CloseReleasesTheFile) {
    open(make_tap("", 0));
    close_tape_image(&tape);
    EXPECT_EQ(fake_log_count("close file game.tap"), 1);
    EXPECT_TRUE(fake_platform.open_handles.empty());
}

// ---- Header and start offset ---------------------------------------------

// A 1000-byte file whose length field says 980, played from byte 100.
TEST_F(TapeImageTest, WorkedExampleFromOffset100) {
    const std::string file = make_tap(fake_pulses(980), 980);
    ASSERT_EQ(file.size(), 1000u);
    open(file);

    ASSERT_EQ(header(100), HeaderOutcome::kOk);
    EXPECT_EQ(tap_length_field(buffer), 900u);
    EXPECT_EQ(header_bytes().substr(0, 16), file.substr(0, 16));
    EXPECT_EQ(tape.remaining, 920u);
    EXPECT_EQ(fake_log_count("seek game.tap 100"), 1);
    consume(&tape, kTapHeaderSize);
    EXPECT_EQ(tape.remaining, 900u);

    std::string data;
    std::vector<size_t> sizes;
    for (int i = 0; i < 20 && tape.remaining > 0; ++i) {
        const std::string block = chunk();
        ASSERT_FALSE(block.empty());
        sizes.push_back(block.size());
        data += block;
        consume(&tape, static_cast<uint32_t>(block.size()));
    }
    std::vector<size_t> expected(14, 64);
    expected.push_back(4);
    EXPECT_EQ(sizes, expected);
    EXPECT_EQ(data, file.substr(100));
}

struct StartCase {
    const char* name;
    uint32_t length_field;
    uint32_t start_offset;
    HeaderOutcome outcome;
    uint32_t device_length;     // the length field handed out (kOk only)
    uint32_t remaining;         // after read_header (kOk only); file is 1000 bytes
    const char* seek_entry;     // the seek in the log, or null for none
    const char* message;
};

const StartCase kStartCases[] = {
    {"AtHeaderEndUntouched", 980, 20, HeaderOutcome::kOk, 980, 1000, nullptr, ""},
    {"LastPulseByte", 980, 20 + 980 - 1, HeaderOutcome::kOk, 1, 1000 - 979, "seek game.tap 999",
     ""},
    {"OnePastLastPulse", 980, 20 + 980, HeaderOutcome::kInvalidStart, 0, 0, nullptr,
     "Invalid index supplied for game.tap\n"},
    {"ZeroLengthFirstPulse", 0, 21, HeaderOutcome::kInvalidStart, 0, 0, nullptr,
     "Invalid index supplied for game.tap\n"},
    {"ZeroLengthHighest", 0, 0xFFFFFFFFu, HeaderOutcome::kInvalidStart, 0, 0, nullptr,
     "Invalid index supplied for game.tap\n"},
    // Passes the length test only through a huge length field; the
    // distance does not fit a signed 32-bit seek.
    {"Offset2To31", 0xFFFFFFFFu, 0x80000000u, HeaderOutcome::kSeekFailure, 0, 0,
     "seek game.tap -2147483648 refused", "Error seeking to index in game.tap\n"},
    {"Offset2To32Minus1", 0xFFFFFFFFu, 0xFFFFFFFFu, HeaderOutcome::kSeekFailure, 0, 0,
     "seek game.tap -1 refused", "Error seeking to index in game.tap\n"},
    // Just below 2^31 the seek goes through, past the end of the file.
    {"Offset2To31Minus1", 0xFFFFFFFFu, 0x7FFFFFFFu, HeaderOutcome::kOk,
     0xFFFFFFFFu - (0x7FFFFFFFu - 20), 1000u - (0x7FFFFFFFu - 20), "seek game.tap 2147483647",
     ""},
};

class TapeStartTest : public TapeImageTest, public testing::WithParamInterface<StartCase> {};

TEST_P(TapeStartTest, LengthFieldRemainingAndSeek) {
    const StartCase& c = GetParam();
    const std::string file = make_tap(fake_pulses(980), c.length_field);
    open(file);

    std::string err;
    ASSERT_EQ(header(c.start_offset, &err), c.outcome);
    EXPECT_EQ(err, c.message);
    int seeks = 0;
    for (const std::string& entry : fake_platform.log) seeks += entry.rfind("seek ", 0) == 0;
    EXPECT_EQ(seeks, c.seek_entry != nullptr ? 1 : 0);
    if (c.seek_entry != nullptr) {
        EXPECT_EQ(fake_log_count(c.seek_entry), 1);
    }
    if (c.outcome != HeaderOutcome::kOk) return;

    EXPECT_EQ(tap_length_field(buffer), c.device_length);
    EXPECT_EQ(header_bytes().substr(0, 16), file.substr(0, 16));
    EXPECT_EQ(tape.remaining, c.remaining);
}

INSTANTIATE_TEST_SUITE_P(Offsets, TapeStartTest, testing::ValuesIn(kStartCases),
                         case_name<StartCase>);

TEST_F(TapeImageTest, StartOnLastPulseByteServesExactlyThatByte) {
    const std::string file = make_tap(fake_pulses(980), 980);
    open(file);
    ASSERT_EQ(header(999), HeaderOutcome::kOk);
    consume(&tape, kTapHeaderSize);
    EXPECT_EQ(chunk(), file.substr(999));
}

TEST_F(TapeImageTest, RefusedSeekIsASeekFailure) {
    open(make_tap(fake_pulses(980), 980));
    fake_platform.files[kPath].seek_refused = true;
    std::string err;
    EXPECT_EQ(header(100, &err), HeaderOutcome::kSeekFailure);
    EXPECT_EQ(err, "Error seeking to index in game.tap\n");
}

TEST_F(TapeImageTest, StartAtEndOfFileGivesEmptyBlocks) {
    open(make_tap(fake_pulses(80), 5000));  // 100 bytes, length field says more
    ASSERT_EQ(header(100), HeaderOutcome::kOk);
    consume(&tape, kTapHeaderSize);
    EXPECT_EQ(tape.remaining, 0u);
    EXPECT_EQ(chunk(), "");
}

TEST_F(TapeImageTest, StartPastEndOfFileMakesTheNextDataRequestFail) {
    open(make_tap(fake_pulses(80), 5000));  // 100 bytes
    ASSERT_EQ(header(500), HeaderOutcome::kOk);
    EXPECT_EQ(tap_length_field(buffer), 5000u - 480u);
    consume(&tape, kTapHeaderSize);
    uint32_t count = 0;
    EXPECT_FALSE(read_chunk(&tape, buffer, &count));
    EXPECT_EQ(fake_platform.log.back(), "read_file game.tap 64");
}

// ---- Blocks --------------------------------------------------------------

TEST_F(TapeImageTest, BlockIsTheRemainderWhenLessThan64) {
    const std::string file = make_tap(fake_pulses(37), 37);
    open(file);
    ASSERT_EQ(header(20), HeaderOutcome::kOk);
    consume(&tape, kTapHeaderSize);
    EXPECT_EQ(chunk(), file.substr(20));
    EXPECT_EQ(tape.remaining, 37u) << "only consume lowers it";
}

TEST_F(TapeImageTest, NothingRemainingGivesEmptyBlocksAndStaysZero) {
    open(make_tap("", 0));
    ASSERT_EQ(header(20), HeaderOutcome::kOk);
    consume(&tape, kTapHeaderSize);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(chunk(), "");
        consume(&tape, 0);
        EXPECT_EQ(tape.remaining, 0u);
    }
}

TEST_F(TapeImageTest, DataBeforeHeaderServesTheHeaderBytes) {
    const std::string file = make_tap(fake_pulses(200), 200);
    open(file);
    EXPECT_EQ(chunk(), file.substr(0, 64));
    EXPECT_EQ(tape.remaining, 220u);
}

TEST_F(TapeImageTest, SecondHeaderRequestReadsTheNext20Bytes) {
    const std::string file = make_tap(fake_pulses(200), 200);
    open(file);
    ASSERT_EQ(header(20), HeaderOutcome::kOk);
    consume(&tape, kTapHeaderSize);
    ASSERT_EQ(header(20), HeaderOutcome::kOk);
    EXPECT_EQ(header_bytes(), file.substr(20, 20));
}

TEST_F(TapeImageTest, SecondHeaderRequestFromOffsetAdjustsAndSeeksAgain) {
    std::string file = make_tap(fake_pulses(980), 980);
    // Bytes 116..119 are what the second header read takes as length field.
    const uint8_t field[4] = {0x10, 0x27, 0, 0};  // 10000
    std::memcpy(file.data() + 116, field, 4);
    open(file);
    ASSERT_EQ(header(100), HeaderOutcome::kOk);
    consume(&tape, kTapHeaderSize);
    ASSERT_EQ(header(100), HeaderOutcome::kOk);
    EXPECT_EQ(tap_length_field(buffer), 10000u - 80u);
    EXPECT_EQ(header_bytes().substr(0, 16), file.substr(100, 16));
    EXPECT_EQ(fake_log_count("seek game.tap 100"), 2);
    EXPECT_EQ(tape.remaining, 1000u - 80u - 20u - 80u);
}

// ---- Read failures -------------------------------------------------------

struct ReadFaultCase {
    const char* name;
    IoResult result;  // what the first read gives instead
};

const ReadFaultCase kReadFaults[] = {
    {"Failed", {false, 0}},
    {"FailedWithBytes", {false, 20}},
    {"Short", {true, 10}},
    {"Empty", {true, 0}},
};

class TapeReadFaultTest : public TapeImageTest,
                          public testing::WithParamInterface<ReadFaultCase> {};

TEST_P(TapeReadFaultTest, HeaderReadFails) {
    open(make_tap(fake_pulses(200), 200));
    fake_platform.files[kPath].read_fault = IoFault{1, GetParam().result};
    std::string err;
    EXPECT_EQ(header(20, &err), HeaderOutcome::kReadFailure);
    EXPECT_EQ(err, "") << "the caller reports it";
}

TEST_P(TapeReadFaultTest, DataReadFails) {
    open(make_tap(fake_pulses(200), 200));
    fake_platform.files[kPath].read_fault = IoFault{1, GetParam().result};
    uint32_t count = 0;
    EXPECT_FALSE(read_chunk(&tape, buffer, &count));
}

INSTANTIATE_TEST_SUITE_P(Faults, TapeReadFaultTest, testing::ValuesIn(kReadFaults),
                         case_name<ReadFaultCase>);

}  // namespace
