// The buffered file stream must leave exactly the bytes an unbuffered file
// stream leaves, whatever mix of reads, writes and seeks reaches it.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/Exceptions.h"
#include "support/TestSupport.h"
#include "zip/BufferedStream.h"

namespace qm {
namespace {

TEST(BufferedFileStream, RandomMixesMatchAnUnbufferedFile) {
    test::ScratchDir dir;
    std::mt19937 random(20261207);
    for (int round = 0; round < 20; ++round) {
        const std::string seed(static_cast<size_t>(random() % 30000), 'x');
        test::WriteFile(dir / "plain", seed);
        test::WriteFile(dir / "buffered", seed);
        {
            TFileStream plain(dir / "plain", fmOpenReadWrite);
            TBufferedFileStream buffered(dir / "buffered", fmOpenReadWrite);
            for (int step = 0; step < 300; ++step) {
                const int op = static_cast<int>(random() % 4);
                // Small transfers, and now and then one past the buffer.
                const int64_t length = random() % 8 == 0 ? 8192 + random() % 20000 : random() % 700;
                if (op == 0) {
                    std::string a(static_cast<size_t>(length), '\0');
                    std::string b(static_cast<size_t>(length), '\0');
                    const int64_t gotA = plain.Read(a.data(), length);
                    const int64_t gotB = buffered.Read(b.data(), length);
                    ASSERT_EQ(gotA, gotB) << "round " << round << " step " << step;
                    ASSERT_EQ(a, b);
                } else if (op == 1) {
                    std::string data(static_cast<size_t>(length), '\0');
                    for (char& c : data) c = static_cast<char>('a' + random() % 26);
                    ASSERT_EQ(plain.Write(data.data(), length), length);
                    ASSERT_EQ(buffered.Write(data.data(), length), length);
                } else {
                    const int origin = static_cast<int>(random() % 3);
                    int64_t offset = static_cast<int64_t>(random() % 40000);
                    if (origin != soBeginning) offset -= 20000;
                    const int64_t expected = plain.Seek(offset, origin);
                    if (expected < 0) {
                        plain.Seek(0, soBeginning);
                        buffered.Seek(0, soBeginning);
                        continue;
                    }
                    ASSERT_EQ(buffered.Seek(offset, origin), expected);
                }
                ASSERT_EQ(buffered.Position(), plain.Position());
                ASSERT_EQ(buffered.Size(), plain.Size());
            }
        }
        ASSERT_EQ(test::ReadFile(dir / "buffered"), test::ReadFile(dir / "plain"));
    }
}

TEST(BufferedFileStream, PendingBytesCountForSeeksFromTheEnd) {
    test::ScratchDir dir;
    {
        TBufferedFileStream out(dir / "f", fmCreate);
        out.Write("0123456789", 10);
        EXPECT_EQ(out.Seek(0, soEnd), 10);
        EXPECT_EQ(out.Seek(-4, soEnd), 6);
        out.Write("ab", 2);
        EXPECT_EQ(out.Seek(0, soCurrent), 8);
        EXPECT_EQ(out.Size(), 10);
        out.Seek(0, soEnd);
        out.Write("Z", 1);
        char back[3] = {};
        out.Seek(5, soBeginning);
        EXPECT_EQ(out.Read(back, 3), 3);  // reading after writing sees the bytes
        EXPECT_EQ(std::string(back, 3), "5ab");
    }  // pending bytes reach the file when the stream goes
    EXPECT_EQ(test::ReadFile(dir / "f"), "012345ab89Z");
}

TEST(BufferedFileStream, UnknownOriginAndRefusedWritesRaise) {
    test::ScratchDir dir;
    TBufferedFileStream stream(dir / "f", fmCreate);
    try {
        stream.Seek(0, 7);
        FAIL() << "origin 7 accepted";
    } catch (const Exception& error) {
        EXPECT_NE(error.Message().find('7'), std::string::npos) << error.Message();
    }

    // A device that refuses every byte: the buffered write looks fine, the
    // seek that must write it out does not.
    TBufferedFileStream full("/dev/full", fmOpenWrite);
    EXPECT_EQ(full.Write("abc", 3), 3);
    EXPECT_THROW(full.Seek(100, soBeginning), Exception);
    EXPECT_THROW(full.Flush(), EWriteError);
    std::string big(20000, 'b');
    EXPECT_LT(full.Write(big.data(), 20000), 20000);
}

}  // namespace
}  // namespace qm
