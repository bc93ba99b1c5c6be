#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <jpeglib.h>

#include "reports/JpegImages.h"

namespace qm {
namespace {

// Decodes with libjpeg, as a browser would; the images are tiny and valid, so libjpeg's default
// error handling (ending the program) would only show up as a crashed test.
RgbImage Decode(const std::string& jpeg) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    RgbImage image(static_cast<int>(info.output_width), static_cast<int>(info.output_height), 0);
    std::string row(info.output_width * 3, '\0');
    while (info.output_scanline < info.output_height) {
        const int y = static_cast<int>(info.output_scanline);
        auto* line = reinterpret_cast<JSAMPLE*>(row.data());
        jpeg_read_scanlines(&info, &line, 1);
        for (int x = 0; x < image.Width(); ++x) {
            const auto* p = reinterpret_cast<const unsigned char*>(row.data()) + x * 3;
            image.Set(x, y, (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2]);
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return image;
}

// Largest difference of one colour channel.
int Distance(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int shift : {16, 8, 0}) {
        worst =
            std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    }
    return worst;
}

TEST(JpegImagesTest, LegendSquaresKeepTheirFillAndEdges) {
    for (const ReportImage& image : kReportImages) {
        if (image.Logo) {
            continue;
        }
        const RgbImage square = DrawReportImage(image);
        ASSERT_EQ(square.Width(), 10);
        ASSERT_EQ(square.Height(), 10);
        EXPECT_EQ(square.At(0, 0), 0xFFFFFFu);
        EXPECT_EQ(square.At(0, 5), 0xFFFFFFu);
        EXPECT_EQ(square.At(9, 9), 0x000000u);
        EXPECT_EQ(square.At(5, 9), 0x000000u);
        EXPECT_EQ(square.At(4, 4), image.Fill);

        const RgbImage decoded = Decode(EncodeJpeg(square));
        ASSERT_EQ(decoded.Width(), 10) << image.FileName;
        ASSERT_EQ(decoded.Height(), 10);
        EXPECT_LE(Distance(decoded.At(4, 4), image.Fill), 12) << image.FileName;
        EXPECT_LE(Distance(decoded.At(5, 0), 0xFFFFFF), 40) << image.FileName;
        EXPECT_LE(Distance(decoded.At(5, 9), 0x000000), 40) << image.FileName;
    }
}

TEST(JpegImagesTest, TheLogoSpellsTheNameOnTheHeadingColour) {
    const RgbImage logo = QuillmarkLogo();
    ASSERT_EQ(logo.Width(), 180);
    ASSERT_EQ(logo.Height(), 37);
    // Ink in the columns of each of the nine letters, background at the corners.
    int letters = 0;
    bool inLetter = false;
    for (int x = 0; x < logo.Width(); ++x) {
        bool ink = false;
        for (int y = 0; y < logo.Height(); ++y) {
            ink = ink || logo.At(x, y) == 0x000080;
        }
        letters += ink && !inLetter ? 1 : 0;
        inLetter = ink;
    }
    EXPECT_EQ(letters, 9);
    EXPECT_EQ(logo.At(0, 0), 0xFFEBBFu);
    EXPECT_EQ(logo.At(179, 36), 0xFFEBBFu);

    const RgbImage decoded = Decode(EncodeJpeg(logo));
    ASSERT_EQ(decoded.Width(), 180);
    ASSERT_EQ(decoded.Height(), 37);
    EXPECT_LE(Distance(decoded.At(2, 2), 0xFFEBBF), 8);
}

}  // namespace
}  // namespace qm
