#include "reports/JpegImages.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace qm {

RgbImage::RgbImage(int width, int height, std::uint32_t fill)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
    FillRect(0, 0, width, height, fill);
}

std::uint32_t RgbImage::At(int x, int y) const {
    const std::size_t i =
        (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) * 3;
    return (std::uint32_t{pixels_[i]} << 16) | (std::uint32_t{pixels_[i + 1]} << 8) | pixels_[i + 2];
}

void RgbImage::Set(int x, int y, std::uint32_t rgb) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return;
    }
    const std::size_t i =
        (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) * 3;
    pixels_[i] = static_cast<std::uint8_t>(rgb >> 16);
    pixels_[i + 1] = static_cast<std::uint8_t>(rgb >> 8);
    pixels_[i + 2] = static_cast<std::uint8_t>(rgb);
}

void RgbImage::FillRect(int x, int y, int width, int height, std::uint32_t rgb) {
    for (int row = y; row < y + height; ++row) {
        for (int column = x; column < x + width; ++column) {
            Set(column, row, rgb);
        }
    }
}

namespace {

// libjpeg reports a failure through error_exit, which by default ends the program. Ours jumps
// back to the encoding function; only C frames of libjpeg lie in between, so no destructor is
// skipped.
struct JpegFailure {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

extern "C" void OnJpegError(j_common_ptr info) {
    auto* failure = reinterpret_cast<JpegFailure*>(info->err);
    (*info->err->format_message)(info, failure->Message);
    std::longjmp(failure->Jump, 1);
}

struct JpegOutput {
    unsigned char* Buffer = nullptr;
    unsigned long Size = 0;
};

// Plain C-style steps between setjmp and longjmp: no object here has a destructor.
bool CompressToMemory(const RgbImage& image, int quality, JpegOutput& output, JpegFailure& failure) {
    jpeg_compress_struct info{};
    info.err = jpeg_std_error(&failure.Manager);
    failure.Manager.error_exit = OnJpegError;
    if (setjmp(failure.Jump) != 0) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &output.Buffer, &output.Size);
    info.image_width = static_cast<JDIMENSION>(image.Width());
    info.image_height = static_cast<JDIMENSION>(image.Height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    for (int c = 0; c < info.num_components; ++c) {
        info.comp_info[c].h_samp_factor = 1;
        info.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    const std::size_t stride = static_cast<std::size_t>(image.Width()) * 3;
    while (info.next_scanline < info.image_height) {
        // libjpeg's interface is not const-correct; it only reads the rows.
        JSAMPROW row = const_cast<JSAMPLE*>(image.Pixels().data() + info.next_scanline * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

// A 5 x 7 pixel font for the letters of the product's name; '#' is ink.
struct Glyph {
    char Letter;
    const char* Rows[7];
};
constexpr Glyph kFont[] = {
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {'u', {".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"}},
    {'i', {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."}},
    {'l', {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'m', {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#...#", "#...#"}},
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
    {'r', {".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."}},
    {'k', {"#....", "#....", "#..#.", "#.#..", "##...", "#.#..", "#..#."}},
};
constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

const Glyph* FindGlyph(char letter) {
    for (const Glyph& glyph : kFont) {
        if (glyph.Letter == letter) {
            return &glyph;
        }
    }
    return nullptr;
}

// The inked columns of a glyph: letters are set proportionally, so that "il" is not spaced
// out like "mm".
struct InkSpan {
    int First = 0;
    int Last = kGlyphWidth - 1;
};
InkSpan InkOf(const Glyph& glyph) {
    InkSpan span{kGlyphWidth, -1};
    for (const char* row : glyph.Rows) {
        for (int column = 0; column < kGlyphWidth; ++column) {
            if (row[column] == '#') {
                span.First = std::min(span.First, column);
                span.Last = std::max(span.Last, column);
            }
        }
    }
    return span.Last < 0 ? InkSpan{} : span;
}

// Draws the text from x and gives its width; with `draw` false only measures.
int DrawText(RgbImage& image, std::string_view text, int x, int y, int scale, std::uint32_t ink, bool draw = true) {
    const int start = x;
    for (const char letter : text) {
        const Glyph* glyph = FindGlyph(letter);
        if (glyph == nullptr) {
            x += (kGlyphWidth + 1) * scale;
            continue;
        }
        const InkSpan span = InkOf(*glyph);
        for (int row = 0; draw && row < kGlyphHeight; ++row) {
            for (int column = span.First; column <= span.Last; ++column) {
                if (glyph->Rows[row][column] == '#') {
                    image.FillRect(x + (column - span.First) * scale, y + row * scale, scale, scale, ink);
                }
            }
        }
        x += (span.Last - span.First + 2) * scale;
    }
    // No gap after the last letter.
    return text.empty() ? 0 : x - start - scale;
}

}  // namespace

std::string EncodeJpeg(const RgbImage& image, int quality) {
    JpegOutput output;
    JpegFailure failure{};
    const bool done = CompressToMemory(image, quality, output, failure);
    std::string bytes;
    if (done) {
        bytes.assign(reinterpret_cast<const char*>(output.Buffer), output.Size);
    }
    // The memory destination allocates with malloc, also when compression failed half-way.
    std::free(output.Buffer);
    if (!done) {
        throw std::runtime_error(std::string("JPEG encoding failed: ") + failure.Message);
    }
    return bytes;
}

RgbImage LegendSquare(std::uint32_t fill) {
    constexpr int kSize = 10;
    RgbImage square(kSize, kSize, fill);
    square.FillRect(0, 0, kSize, 1, 0xFFFFFF);
    square.FillRect(0, 0, 1, kSize, 0xFFFFFF);
    square.FillRect(0, kSize - 1, kSize, 1, 0x000000);
    square.FillRect(kSize - 1, 0, 1, kSize, 0x000000);
    return square;
}

RgbImage QuillmarkLogo() {
    constexpr int kWidth = 180;
    constexpr int kHeight = 37;
    constexpr int kScale = 3;
    constexpr std::string_view kName = "Quillmark";
    // The heading band's colour, so that the logo sits in it without a seam.
    RgbImage logo(kWidth, kHeight, 0xFFEBBF);
    const int textWidth = DrawText(logo, kName, 0, 0, kScale, 0, /*draw=*/false);
    const int x = (kWidth - textWidth) / 2;
    const int y = (kHeight - kGlyphHeight * kScale) / 2;
    DrawText(logo, kName, x + 2, y + 2, kScale, 0xFFCC66);  // shadow
    DrawText(logo, kName, x, y, kScale, 0x000080);
    return logo;
}

RgbImage DrawReportImage(const ReportImage& image) {
    return image.Logo ? QuillmarkLogo() : LegendSquare(image.Fill);
}

}  // namespace qm
