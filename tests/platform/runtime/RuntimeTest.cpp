// The runtime's errors and statuses, its event hooks, its conversions of numbers (rounding to
// integers, to single precision, reading a number from text) and its whole-file writes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cfloat>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "runtime/Events.h"
#include "runtime/FileWrite.h"
#include "runtime/Rounding.h"
#include "runtime/Status.h"
#include "runtime/Val.h"
#include "support/Raised.h"

namespace {

using testsupport::raised;

// Run-time errors carry the classic numbers and texts; a status is its number and names it.
TEST(RuntimeErrors, CarryTheClassicNumbersAndTextsAndStatusesTheirNames) {
    EXPECT_EQ(raised([] { rt::raiseRuntime(rt::errc::SubscriptOutOfRange, "attribRanges(0)"); }),
              std::pair(9, std::string("Subscript out of range: attribRanges(0)")));
    const std::pair<int, const char*> texts[] = {
        {5, "Invalid procedure call or argument"}, {6, "Overflow"}, {11, "Division by zero"}, {53, "File not found"}};
    for (const auto& [number, text] : texts) EXPECT_EQ(rt::runtimeErrorText(number), text);
    EXPECT_EQ(raised([] { rt::check(D3DERR_INVALIDCALL, "BeginScene"); }),
              std::pair(int32_t(0x8876086Cu), std::string("D3DERR_INVALIDCALL: BeginScene")));
    EXPECT_NO_THROW(rt::check(S_OK, "Clear"));
    EXPECT_EQ(rt::statusName(D3DXERR_INVALIDDATA), "D3DXERR_INVALIDDATA");
    EXPECT_EQ(rt::statusName(static_cast<HRESULT>(0x80001234u)), "HRESULT 0x80001234");
}

// Without a waiter (no window system) a wait only runs what is pending; with one, it waits.
// The processor and the waiter can be swapped and restored.
TEST(PendingEvents, WaitFallsBackToTheProcessorAndBothCanBeRestored) {
    int processed = 0, waited = 0;
    auto previous = rt::setPendingEventProcessor([&] { ++processed; });
    rt::waitForEvents();
    auto previousWaiter = rt::setEventWaiter([&] { ++waited; });
    rt::waitForEvents();
    rt::setEventWaiter(previousWaiter);
    rt::setPendingEventProcessor(previous);
    rt::processPendingEvents();
    EXPECT_EQ(processed, 1);
    EXPECT_EQ(waited, 1);
    // A paced step runs them only once its interval has passed.
    using namespace std::chrono_literals;
    for (const auto& [interval, expectedRuns] : {std::pair<std::chrono::nanoseconds, int>{0ns, 1000}, {1h, 0}}) {
        int runs = 0;
        previous = rt::setPendingEventProcessor([&] { ++runs; });
        rt::PacedEventStep step(interval);
        for (int i = 0; i < 1000; ++i) step();
        rt::setPendingEventProcessor(previous);
        EXPECT_EQ(runs, expectedRuns);
    }
}

TEST(RoundToInt32, TiesGoToTheEvenNeighbourOthersToTheNearestAndBeyondTheLimitsOverflow) {
    const std::pair<double, int32_t> cases[] = {
        {0.5, 0},   {1.5, 2},   {2.5, 2},   {3.5, 4},   {-0.5, 0},  {-1.5, -2}, {-2.5, -2}, {-3.5, -4},
        {2.4999999, 2}, {2.5000001, 3}, {-1.2, -1}, {-1.7, -2},
        {2147483647.0, 2147483647}, {2147483647.4, 2147483647},
        {-2147483648.0, std::numeric_limits<int32_t>::min()},
        {-2147483648.5, std::numeric_limits<int32_t>::min()},  // tie to even
    };
    for (const auto& [value, expected] : cases) EXPECT_EQ(rt::roundToInt32(value), expected) << value;
    // 2147483647.5 is a tie that rounds up to 2^31.
    for (double value : {2147483647.5, -2147483649.0, std::nan(""), double{INFINITY}})
        EXPECT_EQ(raised([&] { rt::roundToInt32(value); }).first, rt::errc::Overflow) << value;
}

// The plain conversion overflows only beyond the float range; the saturated one never fails.
TEST(ToSingle, OverflowsBeyondTheFloatRangeWhereTheSaturatedFormClamps) {
    EXPECT_EQ(rt::toSingle(0.1), 0.1f);
    EXPECT_EQ(rt::toSingle(3.4028234663852886e38), std::numeric_limits<float>::max());
    for (double value : {1e39, std::nan(""), -double{INFINITY}}) EXPECT_THROW(rt::toSingle(value), rt::Error) << value;
    const double inf = INFINITY;
    const std::pair<double, float> saturated[] = {{0.1, 0.1f},        {inf, FLT_MAX},  {-inf, -FLT_MAX},
                                                  {-3.5e38, -FLT_MAX}, {1e-300, 0.0f}, {std::nan(""), 0.0f}};
    for (const auto& [value, expected] : saturated) EXPECT_EQ(rt::toSingleSaturated(value), expected) << value;
}

constexpr double kInf = std::numeric_limits<double>::infinity();

void expectAll(const std::vector<std::pair<std::string, double>>& cases) {
    for (const auto& [text, expected] : cases) EXPECT_DOUBLE_EQ(rt::val(text), expected) << '"' << text << '"';
}

// The number at the start, up to the first misfit; blanks, tabs and line feeds are skipped
// even inside it, a carriage return ends it; what is incomplete or missing reads as little as
// it can.
TEST(Val, ReadsTheNumberAtTheStartSkippingBlanksAndStopsAtTheFirstMisfit) {
    expectAll({{"0.5", 0.5}, {"0.5abc", 0.5}, {"1,5", 1.0}, {"-.25", -0.25}, {"+7", 7.0}, {"5.", 5.0},
               {"1.2.3", 1.2}, {"3-4", 3.0}, {"2E-1", 0.2}, {"1D2", 100.0}, {"1d2", 100.0}, {".5e1", 5.0},
               {"1 2", 12.0}, {"1615 198th Street", 1615198.0}, {"\t-\n1 . 5", -1.5}, {"1 e 2", 100.0}, {"1\r2", 1.0},
               {"1e", 1.0}, {"1e+", 1.0}, {"1ex5", 1.0}, {"", 0.0}, {"   ", 0.0}, {"abc", 0.0}, {".", 0.0},
               {"-", 0.0}, {"-.", 0.0}, {"e5", 0.0}, {"$5", 0.0}, {",5", 0.0}, {"+-5", 0.0},
               {"\xEF\xBC\x90.5", 0.0}});  // a full-width digit is not a digit
}

TEST(Val, HexAndOctalAreSignedSixteenThenThirtyTwoBitIntegers) {
    expectAll({{"&H10", 16.0}, {"&O17", 15.0}, {"&h1f", 31.0}, {" & h 1 0", 16.0}, {"&HFFFF", -1.0},
               {"&H8000", -32768.0}, {"&H0000FFFF", -1.0}, {"&O177777", -1.0}, {"&H10000", 65536.0},
               {"&HFFFFFFFF", -1.0}, {"&H80000000", -2147483648.0}, {"&H100000000", 4294967296.0},
               {"&H", 0.0}, {"&X1", 0.0}, {"&H1G", 1.0}, {"&O18", 1.0}, {"-&H10", 0.0}, {"1&H10", 1.0}});
}

TEST(Val, NumbersBeyondTheDoubleRangeSaturateInsteadOfFailing) {
    const std::string zeros(400, '0');
    const std::pair<std::string, double> exact[] = {
        {"1e400", kInf}, {"-1e400", -kInf}, {"1e99999999999999999999999", kInf}, {std::string(1'000'000, '9'), kInf},
        {"&H" + std::string(100'000, 'F'), kInf}, {"1e-400", 0.0}, {"0." + zeros + "1", 0.0}};
    for (const auto& [text, expected] : exact) EXPECT_EQ(rt::val(text), expected) << text.substr(0, 30);
    // Leading zeros and the exponent offset each other: these are in range.
    expectAll({{"0." + zeros + "1e500", 1e99}, {"1" + zeros + "e-390", 1e10}});
}

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A whole file replaces what had its name (through a link, the link's target; a FIFO is
// written into, not replaced); a new file never replaces anything and has a new file's
// permissions; neither leaves a temporary behind, whatever happens.
TEST(FileWrite, ReplacesOrCreatesWholeFilesAndLeavesNothingElse) {
    char templ[] = "/tmp/celshade-filewrite-XXXXXX";
    ASSERT_NE(::mkdtemp(templ), nullptr);
    const fs::path dir = templ;
    const std::string file = (dir / "a.png").string(), link = (dir / "link.png").string(), fifo = (dir / "pipe").string();
    std::ofstream(file) << "old";
    fs::create_symlink("a.png", link);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);  // keeps the FIFO open for writing

    rt::replaceFile(file, "new", 3);
    EXPECT_EQ(contents(file), "new");
    rt::replaceFile(link, "linked", 6);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(contents(file), "linked");
    rt::replaceFile(fifo, "fifo", 4);
    char got[8] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 4);
    EXPECT_EQ(std::string(got), "fifo");
    EXPECT_TRUE(fs::is_fifo(fifo));
    ::close(reader);

    EXPECT_FALSE(rt::createNewFile(file, "newer", 5));
    EXPECT_FALSE(rt::createNewFile(link, "newer", 5));
    EXPECT_EQ(contents(file), "linked");
    EXPECT_TRUE(rt::createNewFile((dir / "b.png").string(), "b", 1));
    EXPECT_EQ(contents(dir / "b.png"), "b");
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(fs::status(dir / "b.png").permissions(), fs::perms(0666 & ~mask));

    const std::string absent = (dir / "absent" / "c.png").string();
    EXPECT_EQ(raised([&] { rt::createNewFile(absent, "c", 1); }).second,
              "Path/File access error: cannot write " + absent + ": No such file or directory");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 4) << "a temporary is left";
    fs::remove_all(dir);
}

}  // namespace
