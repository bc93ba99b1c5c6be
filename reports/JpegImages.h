// The five small pictures every HTML report refers to, drawn in code and encoded as JPEG with
// libjpeg: the logo with the product's name, and the four legend squares of the statistics page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// 8-bit RGB pixels, row by row.
class RgbImage {
public:
    RgbImage(int width, int height, std::uint32_t fill);

    int Width() const { return width_; }
    int Height() const { return height_; }
    std::uint32_t At(int x, int y) const;  // 0xRRGGBB
    void Set(int x, int y, std::uint32_t rgb);
    void FillRect(int x, int y, int width, int height, std::uint32_t rgb);
    const std::vector<std::uint8_t>& Pixels() const { return pixels_; }

private:
    int width_;
    int height_;
    std::vector<std::uint8_t> pixels_;
};

// JPEG bytes of the image. Quality 95 without chroma subsampling: libjpeg's defaults (75,
// halved colour resolution) smear the edges of a 10 x 10 square into its fill.
std::string EncodeJpeg(const RgbImage& image, int quality = 95);

// A 10 x 10 legend square: the fill, its top and left edges white, bottom and right black.
RgbImage LegendSquare(std::uint32_t fill);
// The 180 x 37 logo: "Quillmark" in a 5 x 7 pixel font drawn three times over, on the colour of
// the page's heading band.
RgbImage QuillmarkLogo();

struct ReportImage {
    const char* FileName;
    bool Logo;
    std::uint32_t Fill;  // legend squares
};
// File names of the five images, logo first.
inline constexpr ReportImage kReportImages[] = {
    {"qmlogo.jpg", true, 0},
    {"legendegris.jpg", false, 0xC6C6C6},
    {"legenderouge.jpg", false, 0xFF8484},
    {"legendevert.jpg", false, 0x84FF84},
    {"legendejaune.jpg", false, 0xFFFF84},
};
// The picture of one of them.
RgbImage DrawReportImage(const ReportImage& image);

}  // namespace qm
