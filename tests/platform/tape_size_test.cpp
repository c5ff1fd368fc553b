// TAP files of 4 GiB and more on a real file system: only the low 32 bits of
// the size count. The files are sparse, so nothing large is ever written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "harness/temp_files.h"
#include "tape/tape_image.h"

namespace {

constexpr uint64_t k4GiB = uint64_t{1} << 32;

struct SizeCase {
    const char* name;
    uint64_t size;
    TapeOpenOutcome outcome;
    const char* message;  // the path follows the first word that names it
    uint32_t remaining;   // when opened
};

const SizeCase kSizeCases[] = {
    {"FourGiBAndTenIsTooShort", k4GiB + 10, TapeOpenOutcome::kFailedTest,
     "File %s is too short to ba a valid TAP file\n", 0},
    {"FourGiBMinusOneHasNoSize", k4GiB - 1, TapeOpenOutcome::kFailedTest,
     "Unable to retrieve the size of file %s\n", 0},
    {"FourGiBAndTwentyCountsTwenty", k4GiB + 20, TapeOpenOutcome::kOpened, "", 20},
};

class TapeSizeTest : public testing::TestWithParam<SizeCase> {};

TEST_P(TapeSizeTest, LowThirtyTwoBitsOfTheSize) {
    const SizeCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.file("big.tap");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0) << strerror(errno);
    const int truncated = ftruncate(fd, static_cast<off_t>(c.size));
    const int error = errno;
    close(fd);
    if (truncated != 0) GTEST_SKIP() << "no sparse file of this size here: " << strerror(error);

    std::string expected = c.message;
    const size_t at = expected.find("%s");
    if (at != std::string::npos) expected.replace(at, 2, path);

    TapeImage tape;
    testing::internal::CaptureStderr();
    const TapeOpenOutcome outcome = open_tape_image(path.c_str(), &tape);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(err, expected);
    if (outcome == TapeOpenOutcome::kOpened) {
        EXPECT_EQ(tape.remaining, c.remaining);
    }
    if (outcome != TapeOpenOutcome::kCannotOpen) close_tape_image(&tape);
}

INSTANTIATE_TEST_SUITE_P(Sparse, TapeSizeTest, testing::ValuesIn(kSizeCases),
                         [](const testing::TestParamInfo<SizeCase>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
