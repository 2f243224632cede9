// What every loader of the program may read: a regular file. A folder, a FIFO or a device is
// refused without being opened (a FIFO with no writer would keep the open waiting for ever),
// and a path through a file reads as not found, as a missing file does.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "runtime/InputFile.h"

namespace {

using Fault = rt::InputFile::Fault;

TEST(InputFile, OnlyARegularFileIsOpenedAndNothingWaits) {
    char pattern[] = "/tmp/celshade-input-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    std::ofstream(dir + "/model.x") << "xof 0303txt 0032";
    ASSERT_EQ(mkfifo((dir + "/doom1.x").c_str(), 0600), 0);

    const struct {
        std::string path;
        Fault fault;
        const char* reason;
    } cases[] = {
        {dir + "/model.x", Fault::None, ""},
        {dir + "/missing.x", Fault::NotFound, "file not found"},
        {dir + "/model.x/inner.x", Fault::NotFound, "file not found"},  // through a file
        {"", Fault::NotFound, "file not found"},
        {dir, Fault::NotRegular, "cannot read the file (it is a directory)"},
        {dir + "/doom1.x", Fault::NotRegular, "cannot read the file (it is a FIFO)"},
        {"/dev/zero", Fault::NotRegular, "cannot read the file (it is a device)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto opening = std::async(std::launch::async, [&] {
            const rt::InputFile file(c.path);
            return std::make_pair(file.fault(), file.reason());
        });
        if (opening.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Let a waiting open go, so that the test can end and say so.
            const int writer = ::open(c.path.c_str(), O_WRONLY | O_NONBLOCK);
            ADD_FAILURE() << "opening waited";
            opening.wait();
            if (writer >= 0) ::close(writer);
            continue;
        }
        const auto [fault, reason] = opening.get();
        EXPECT_EQ(fault, c.fault);
        EXPECT_EQ(reason, c.reason);
    }
    const rt::InputFile file(dir + "/model.x");
    std::string bytes(32, '\0');
    bytes.resize(file.readInto(reinterpret_cast<std::byte*>(bytes.data()), bytes.size()));
    EXPECT_EQ(file.size(), 16u);
    EXPECT_EQ(bytes, "xof 0303txt 0032");
    std::filesystem::remove_all(dir);
}

}  // namespace
