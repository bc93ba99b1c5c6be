#include "config/ListXml.h"

#include <expat.h>

#include <cstring>
#include <exception>

namespace qm {

namespace {

// Longest stretch of input without a '>': bounds what expat holds in one piece (a tag with its
// attributes, a comment) and what it parses again while waiting for the rest.
constexpr std::size_t kMaxStretch = 16u << 20;
// Longest description or header text kept.
constexpr std::size_t kMaxText = 64u << 10;
// Input is handed to expat in slices of this size (its length argument is an int).
constexpr std::size_t kSlice = 16u << 20;

bool IsGameElement(std::string_view name) {
    return name == "game" || name == "machine";
}

}  // namespace

struct TListXmlReader::State {
    State(TListingBuilder& b, std::string s) : builder(b), source(std::move(s)), parser(XML_ParserCreate(nullptr)) {}
    ~State() {
        if (parser != nullptr) {
            XML_ParserFree(parser);
        }
    }

    TListingBuilder& builder;
    std::string source;
    XML_Parser parser;
    ListingHeader header;
    int depth = 0;
    bool rootSeen = false;
    bool inHeader = false;
    bool inGame = false;
    // The element whose text is being collected (depth 3), or empty.
    std::string collecting;
    std::string text;
    std::size_t stretch = 0;
    std::string refusal;
    std::exception_ptr failure;

    // Handlers run inside expat, a C library: nothing may be thrown through it.
    template <class F>
    void Guard(F&& f) {
        if (failure) {
            return;
        }
        try {
            f();
        } catch (...) {
            failure = std::current_exception();
            XML_StopParser(parser, XML_FALSE);
        }
    }

    void Start(std::string_view name, const XML_Char** attributes) {
        ++depth;
        if (depth == 1) {
            rootSeen = true;
            if (name == "mame") {
                header.FromMame = true;
                header.Name = "MAME";
                for (const XML_Char** a = attributes; a[0] != nullptr; a += 2) {
                    if (std::strcmp(a[0], "build") == 0) {
                        header.Version = CleanListingText(a[1]);
                    }
                }
            }
            return;
        }
        if (depth == 2) {
            inHeader = name == "header";
            inGame = IsGameElement(name);
            if (inGame) {
                StartGame(attributes);
            }
            return;
        }
        if (depth != 3) {
            return;
        }
        if (inHeader && (name == "name" || name == "description" || name == "version")) {
            collecting = name;
            text.clear();
        } else if (inGame && name == "description") {
            collecting = name;
            text.clear();
        } else if (inGame && name == "rom") {
            Rom(attributes);
        }
    }

    void StartGame(const XML_Char** attributes) {
        std::string_view gameName;
        std::string_view cloneOf;
        std::string_view romOf;
        bool hasCloneOf = false;
        bool hasRomOf = false;
        for (const XML_Char** a = attributes; a[0] != nullptr; a += 2) {
            const std::string_view key = a[0];
            if (key == "name") {
                gameName = a[1];
            } else if (key == "cloneof") {
                cloneOf = a[1];
                hasCloneOf = true;
            } else if (key == "romof") {
                romOf = a[1];
                hasRomOf = true;
            }
        }
        builder.StartGame();
        builder.SetName(gameName);
        if (hasCloneOf) {
            builder.SetCloneOf(cloneOf);
        }
        if (hasRomOf) {
            builder.SetRomOf(romOf);
        }
    }

    void Rom(const XML_Char** attributes) {
        ListingRom rom;
        for (const XML_Char** a = attributes; a[0] != nullptr; a += 2) {
            const std::string_view key = a[0];
            if (key == "name") {
                rom.Name = a[1];
            } else if (key == "size") {
                rom.Size = a[1];
            } else if (key == "crc") {
                rom.Crc = a[1];
            } else if (key == "merge") {
                rom.Merged = true;
            } else if (key == "status") {
                rom.NoDump = std::string_view(a[1]) == "nodump";
            }
        }
        builder.AddRom(rom);
    }

    void End() {
        if (depth == 3 && !collecting.empty()) {
            if (inGame) {
                builder.SetDescription(text);
            } else if (collecting == "name") {
                header.Name = CleanListingText(text);
            } else if (collecting == "description") {
                header.Description = CleanListingText(text);
            } else {
                header.Version = CleanListingText(text);
            }
            collecting.clear();
        }
        if (depth == 2) {
            inHeader = inGame = false;
        }
        --depth;
    }

    void Text(const XML_Char* s, int length) {
        if (!collecting.empty() && text.size() < kMaxText) {
            text.append(s, static_cast<std::size_t>(length));
        }
    }

    [[noreturn]] void Fail() {
        if (failure) {
            std::rethrow_exception(failure);
        }
        const std::string why = !refusal.empty() ? refusal : XML_ErrorString(XML_GetErrorCode(parser));
        throw EListingError(source + ": not a readable XML listing: " + why + " at line " +
                            std::to_string(XML_GetCurrentLineNumber(parser)));
    }
};

TListXmlReader::TListXmlReader(TListingBuilder& builder, std::string source)
    : state_(std::make_unique<State>(builder, std::move(source))) {
    XML_Parser parser = state_->parser;
    if (parser == nullptr) {
        throw std::bad_alloc();
    }
    XML_SetUserData(parser, state_.get());
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
            auto* s = static_cast<State*>(data);
            s->Guard([&] { s->Start(name, attributes); });
        },
        [](void* data, const XML_Char*) {
            auto* s = static_cast<State*>(data);
            s->Guard([&] { s->End(); });
        });
    XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* s, int length) {
        auto* state = static_cast<State*>(data);
        state->Guard([&] { state->Text(s, length); });
    });
    // Entities are what external-file and expansion attacks are made of; a game listing has no
    // use for them.
    XML_SetEntityDeclHandler(parser, [](void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                                        const XML_Char*, const XML_Char*, const XML_Char*) {
        auto* s = static_cast<State*>(data);
        s->refusal = "it declares entities, which are refused";
        XML_StopParser(s->parser, XML_FALSE);
    });
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
}

TListXmlReader::~TListXmlReader() = default;

void TListXmlReader::Feed(std::string_view bytes) {
    State& s = *state_;
    while (!bytes.empty()) {
        const std::string_view slice = bytes.substr(0, kSlice);
        bytes.remove_prefix(slice.size());
        const std::size_t lastTagEnd = slice.rfind('>');
        s.stretch = lastTagEnd == std::string_view::npos ? s.stretch + slice.size() : slice.size() - lastTagEnd - 1;
        if (s.stretch > kMaxStretch) {
            s.refusal = "more than 16 MB without the end of a tag";
            s.Fail();
        }
        if (XML_Parse(s.parser, slice.data(), static_cast<int>(slice.size()), XML_FALSE) != XML_STATUS_OK) {
            s.Fail();
        }
    }
}

void TListXmlReader::Finish() {
    State& s = *state_;
    if (XML_Parse(s.parser, "", 0, XML_TRUE) != XML_STATUS_OK) {
        s.Fail();
    }
}

const ListingHeader& TListXmlReader::Header() const {
    return state_->header;
}

}  // namespace qm
