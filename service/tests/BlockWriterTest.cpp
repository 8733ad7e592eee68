// The block writer on its own: data in odd pieces lands in order with its MD5, an MD5 state
// carried over continues, and a full disk is reported.

#include "service/BlockWriter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "testing/TempHome.h"

namespace {

std::string Pattern(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<char>(i * 7 + i / 4096);
    }
    return data;
}

std::string Md5(const std::string& data) {
    CMd5Stream md5;
    md5.Update(data.data(), data.size());
    return md5.HexDigest();
}

TEST(BlockWriterTest, PiecesLandInOrderAndTheMd5ContinuesTheHeldPart) {
    testing_support::TempHome home;
    std::filesystem::path file = home.path() / "partial";
    std::string data = Pattern((5u << 20) / 2 + 12345);
    std::size_t held = 1000;
    std::ofstream(file, std::ios::binary) << data.substr(0, held);
    CMd5Stream md5;
    md5.Update(data.data(), held);

    CBlockWriter writer(file, md5);
    for (std::size_t at = held, piece = 1; at < data.size(); at += piece, piece = piece * 3 + 1) {
        piece = std::min(piece, data.size() - at);
        ASSERT_TRUE(writer.Write(data.data() + at, piece));
    }
    ASSERT_TRUE(writer.Finish());
    std::ifstream in(file, std::ios::binary);
    std::stringstream written;
    written << in.rdbuf();
    EXPECT_TRUE(written.str() == data);
    ASSERT_TRUE(writer.Md5().has_value());
    EXPECT_EQ(writer.Md5()->HexDigest(), Md5(data));
}

TEST(BlockWriterTest, AFullDiskIsReported) {
    CBlockWriter writer("/dev/full", std::nullopt);
    std::string data = Pattern(3u << 20);
    bool accepted = true;
    for (int i = 0; i < 8 && accepted; ++i) {
        accepted = writer.Write(data.data(), data.size());
    }
    EXPECT_FALSE(writer.Finish());
    EXPECT_FALSE(writer.Md5().has_value());
}

}  // namespace
