// Verbs on archives and files themselves, without a profile: zip list, crc.
#include <filesystem>

#include "archive/ZipMstr.h"
#include "archive/crc32.h"
#include "cli/Verbs.h"
#include "platform/Platform.h"

namespace qm {

std::string EntryJson(std::string_view name, std::string_view crc, std::int64_t size) {
    return JsonObject().Add("name", name).Add("crc", crc).Add("size", size).Text();
}

std::string EntryLine(std::string_view crc, std::int64_t size, std::string_view name) {
    std::string line = "  ";
    line += crc;
    line += ' ';
    const std::string digits = std::to_string(size);
    line.append(digits.size() < 10 ? 10 - digits.size() : 0, ' ');
    line += digits;
    line += "  ";
    line += DisplayText(name);
    return line;
}

int VerbZip(CliContext& ctx) {
    const std::vector<std::string>& args = ctx.Args().Positional;
    if (args.size() < 2 || args[0] != "list") {
        return ctx.Usage(args.empty() || args[0] != "list" ? "the only action is \"list\"" : "no archive given");
    }
    bool failed = false;
    std::vector<std::string> archives;
    TZipMaster zip;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& file = args[i];
        JsonObject json;
        json.Add("file", file);
        std::vector<std::string> entries;
        std::error_code ec;
        // Listing a name that leads nowhere gives an empty directory; here it is an error.
        if (!std::filesystem::is_regular_file(file, ec)) {
            failed = true;
            const std::string why = std::filesystem::exists(file, ec) ? "not a file" : "not found";
            if (ctx.Json()) {
                archives.push_back(json.AddRaw("entries", "[]")
                                       .AddRaw("error", JsonObject().Add("message", why).Add("file", file).Text())
                                       .Text());
            } else {
                ctx.Err() << "quillmark-cli: " << DisplayText(file) << ": " << why << "\n";
            }
            continue;
        }
        zip.ErrCode = 0;
        zip.SetZipFilename(file);
        const int code = zip.ErrCode;
        // Warnings leave a complete directory; an error leaves none worth showing.
        const bool listed = code == 0 || IsListingWarning(code);
        failed = failed || code != 0;
        if (!ctx.Json()) {
            ctx.Out() << DisplayText(file) << "\n";
        }
        if (listed) {
            for (const ZipDirEntry& e : zip.ZipEntries()) {
                const auto size = static_cast<std::int64_t>(e.UncompressedSize64);
                if (ctx.Json()) {
                    entries.push_back(EntryJson(e.FileName, CrcToHex(e.Crc32), size));
                } else {
                    ctx.Out() << EntryLine(CrcToHex(e.Crc32), size, e.FileName) << "\n";
                }
            }
        }
        if (ctx.Json()) {
            json.AddRaw("entries", JsonArray(entries));
            if (code != 0) {
                json.AddRaw(
                    "error",
                    JsonObject().Add("code", code).Add("message", OneLine(zip.Message)).Add("file", file).Text());
            }
            archives.push_back(json.Text());
        } else if (code != 0) {
            ctx.Err() << "quillmark-cli: " << DisplayText(file) << ": " << (listed ? "warning " : "error ") << code
                      << ": " << OneLine(zip.Message) << "\n";
        }
    }
    if (ctx.Json()) {
        ctx.PrintJson(JsonObject().AddRaw("archives", JsonArray(archives)));
    }
    return failed ? kExitFailure : kExitOk;
}

int VerbCrc(CliContext& ctx) {
    const std::vector<std::string>& args = ctx.Args().Positional;
    if (args.empty()) {
        return ctx.Usage("no file given");
    }
    bool failed = false;
    std::vector<std::string> files;
    TCrc32 crc;
    crc.SizeHeader = ctx.Args().Has("snes");
    crc.FixedHeader16 = ctx.Args().Has("nes");
    crc.LookInZip = true;
    crc.SkipTextFiles = false;
    for (const std::string& file : args) {
        crc.FileName = file;
        crc.Clear();
        std::string error;
        try {
            crc.Build();
        } catch (const std::exception& e) {
            error = e.what();
            failed = true;
        }
        if (ctx.Json()) {
            std::vector<std::string> items;
            for (const TCrcItem& item : crc.ItemList()) {
                items.push_back(EntryJson(item.Name, item.Crc, item.Size));
            }
            JsonObject json;
            json.Add("file", file).AddRaw("items", JsonArray(items));
            if (!error.empty()) {
                json.AddRaw("error", JsonObject().Add("message", OneLine(error)).Add("file", file).Text());
            }
            files.push_back(json.Text());
            continue;
        }
        ctx.Out() << DisplayText(file) << "\n";
        for (const TCrcItem& item : crc.ItemList()) {
            ctx.Out() << EntryLine(item.Crc, item.Size, item.Name) << "\n";
        }
        if (!error.empty()) {
            ctx.Err() << "quillmark-cli: " << OneLine(error) << "\n";
        }
    }
    if (ctx.Json()) {
        ctx.PrintJson(JsonObject().AddRaw("files", JsonArray(files)));
    }
    return failed ? kExitFailure : kExitOk;
}

}  // namespace qm
