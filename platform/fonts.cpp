#include "platform/fonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <fontconfig/fontconfig.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>

namespace quarvel {
namespace {

struct WidthEntry {
    std::uint32_t code;
    std::uint8_t width;
};

constexpr WidthEntry kWidthEntries[] = {
#include "widths_table.inc"
};

// Table widths by BMP code point (0 = no entry); every code point of the table is
// in the BMP.
const std::array<std::uint8_t, 0x10000>& WidthTable() {
    static const auto table = [] {
        std::array<std::uint8_t, 0x10000> t{};
        for (const auto& e : kWidthEntries)
            if (e.code < t.size()) t[e.code] = e.width;
        return t;
    }();
    return table;
}

struct FtLibraryDeleter {
    void operator()(FT_Library lib) const { FT_Done_FreeType(lib); }
};
struct FtFaceDeleter {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using FtLibraryPtr = std::unique_ptr<std::remove_pointer_t<FT_Library>, FtLibraryDeleter>;
using FtFacePtr = std::unique_ptr<std::remove_pointer_t<FT_Face>, FtFaceDeleter>;

struct FcPatternDeleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct FcFontSetDeleter {
    void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};
struct FcCharSetDeleter {
    void operator()(FcCharSet* s) const { FcCharSetDestroy(s); }
};
using FcPatternPtr = std::unique_ptr<FcPattern, FcPatternDeleter>;
using FcFontSetPtr = std::unique_ptr<FcFontSet, FcFontSetDeleter>;
using FcCharSetPtr = std::unique_ptr<FcCharSet, FcCharSetDeleter>;

constexpr const char* kFamilyChain[] = {"Mona", "Monapo", "IPAPGothic", "Symbola"};

std::mutex g_config_mutex;
std::filesystem::path g_main_font_override;
bool g_instance_made = false;

// The file fontconfig gives for an exact family name, or empty.
std::string FindFamilyFile(const char* family) {
    FcPatternPtr pattern(FcNameParse(reinterpret_cast<const FcChar8*>(family)));
    if (!pattern) return {};
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result;
    FcPatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match) return {};
    FcChar8* name = nullptr;
    FcChar8* file = nullptr;
    if (FcPatternGetString(match.get(), FC_FAMILY, 0, &name) != FcResultMatch ||
        FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch)
        return {};
    // fontconfig always answers with something; take it only when it is the family asked for.
    for (int i = 0; FcPatternGetString(match.get(), FC_FAMILY, i, &name) == FcResultMatch; ++i) {
        if (FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family)) == 0)
            return reinterpret_cast<const char*>(file);
    }
    return {};
}

}  // namespace

namespace {

// FreeType reports running out of memory as an error code; a glyph or face lost to it
// would silently come out blank, so it becomes the failure it is.
void ThrowWhenOutOfMemory(FT_Error error) {
    if (error == FT_Err_Out_Of_Memory) throw std::bad_alloc();
}

}  // namespace

std::span<const char* const> FontFamilyChain() { return kFamilyChain; }

std::filesystem::path UserFontFile() {
    const char* env = std::getenv("QUARVEL_FONT");
    return env && *env ? std::filesystem::path(env) : std::filesystem::path();
}

struct GlyphCache::Impl {
    FtLibraryPtr library;
    // Faces in the order they are asked: the main face, then the named fallbacks,
    // then faces found through fontconfig for single characters (by file and index).
    std::vector<FtFacePtr> faces;
    std::map<std::pair<std::string, int>, FT_Face> faces_by_file;
    std::size_t named_faces = 0;  // faces[0..named_faces) are the main face and its named fallbacks

    std::mutex mutex;  // guards everything below and all FreeType calls
    std::unique_ptr<std::atomic<const Glyph*>[]> bmp;
    std::map<char32_t, const Glyph*> astral;
    std::vector<std::unique_ptr<Glyph>> storage;

    FT_Face Open(const std::string& path, int index) {
        auto key = std::make_pair(path, index);
        if (auto it = faces_by_file.find(key); it != faces_by_file.end()) return it->second;
        FT_Face face = nullptr;
        if (FT_Error error = FT_New_Face(library.get(), path.c_str(), index, &face); error != 0) {
            ThrowWhenOutOfMemory(error);
            faces_by_file[key] = nullptr;
            return nullptr;
        }
        FT_Set_Pixel_Sizes(face, 0, kFontPixelHeight);
        faces.emplace_back(face);
        faces_by_file[key] = face;
        return face;
    }

    // A face of fontconfig's that has the code point, or null.
    FT_Face FindFallback(char32_t code) {
        FcCharSetPtr charset(FcCharSetCreate());
        FcCharSetAddChar(charset.get(), code);
        FcPatternPtr pattern(FcPatternCreate());
        FcPatternAddCharSet(pattern.get(), FC_CHARSET, charset.get());
        FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
        FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
        FcDefaultSubstitute(pattern.get());
        FcResult result;
        FcFontSetPtr set(FcFontSort(nullptr, pattern.get(), FcFalse, nullptr, &result));
        if (!set) return nullptr;
        for (int i = 0; i < set->nfont; ++i) {
            FcCharSet* cs = nullptr;
            if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &cs) != FcResultMatch || !FcCharSetHasChar(cs, code))
                continue;
            FcChar8* file = nullptr;
            int index = 0;
            if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
            FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
            FT_Face face = Open(reinterpret_cast<const char*>(file), index);
            if (face && FT_Get_Char_Index(face, code) != 0) return face;
        }
        return nullptr;
    }
};

namespace {

// Renders one glyph without smoothing into a 0/1 mask.
bool RenderGlyph(FT_Face face, FT_UInt index, Glyph& glyph) {
    if (FT_Error error = FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO); error != 0) {
        ThrowWhenOutOfMemory(error);
        return false;
    }
    FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.width = static_cast<int>(bm.width);
    glyph.height = static_cast<int>(bm.rows);
    glyph.mask.assign(static_cast<std::size_t>(glyph.width) * glyph.height, 0);
    for (int y = 0; y < glyph.height; ++y) {
        const unsigned char* row = bm.buffer + static_cast<std::ptrdiff_t>(y) * bm.pitch;
        for (int x = 0; x < glyph.width; ++x) {
            bool ink = false;
            switch (bm.pixel_mode) {
            case FT_PIXEL_MODE_MONO: ink = (row[x >> 3] >> (7 - (x & 7))) & 1; break;
            case FT_PIXEL_MODE_GRAY: ink = row[x] >= 128; break;
            case FT_PIXEL_MODE_BGRA: ink = row[x * 4 + 3] >= 128; break;
            default: ink = false; break;
            }
            glyph.mask[static_cast<std::size_t>(y) * glyph.width + x] = ink ? 1 : 0;
        }
    }
    return true;
}

}  // namespace

GlyphCache& GlyphCache::Instance() {
    static GlyphCache* instance = [] {
        std::lock_guard lock(g_config_mutex);
        g_instance_made = true;
        const std::filesystem::path main = g_main_font_override.empty() ? UserFontFile() : g_main_font_override;
        return new GlyphCache(main);
    }();
    return *instance;
}

bool GlyphCache::SetMainFontFile(const std::filesystem::path& path, std::string& error) {
    std::lock_guard lock(g_config_mutex);
    if (g_instance_made) {
        error = "the font can only be chosen before the first picture is drawn";
        return false;
    }
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) {
        error = "FreeType cannot be started";
        return false;
    }
    FT_Face face = nullptr;
    FT_Error rc = FT_New_Face(lib, path.c_str(), 0, &face);
    if (rc == 0) FT_Done_Face(face);
    FT_Done_FreeType(lib);
    if (rc != 0) {
        std::error_code ec;
        error = std::filesystem::exists(path, ec) ? "not a font file FreeType can read" : "no such file";
        return false;
    }
    g_main_font_override = path;
    return true;
}

GlyphCache::GlyphCache(const std::filesystem::path& main_face) : impl_(std::make_unique<Impl>()) {
    impl_->bmp = std::make_unique<std::atomic<const Glyph*>[]>(0x10000);
    FT_Library lib = nullptr;
    if (FT_Error error = FT_Init_FreeType(&lib); error == 0)
        impl_->library.reset(lib);
    else
        ThrowWhenOutOfMemory(error);
    FcInit();

    std::vector<std::string> chain;
    if (!main_face.empty()) chain.push_back(main_face.string());
    for (const char* family : FontFamilyChain()) {
        std::string file = FindFamilyFile(family);
        if (!file.empty()) chain.push_back(file);
    }
    if (main_face.empty() && !chain.empty() && chain.front().find("mona.ttf") == std::string::npos) {
        // Mona missing from fontconfig's view: try its usual place directly.
        const char* usual = "/usr/share/fonts/truetype/mona/mona.ttf";
        std::error_code ec;
        if (std::filesystem::exists(usual, ec)) chain.insert(chain.begin(), usual);
    }
    if (impl_->library) {
        for (const auto& file : chain) impl_->Open(file, 0);
    }
    impl_->named_faces = impl_->faces.size();

    // Bytes the code page cannot decode take the width of the main face's .notdef glyph.
    if (!impl_->faces.empty()) {
        FT_Face main = impl_->faces.front().get();
        if (FT_Load_Glyph(main, 0, FT_LOAD_TARGET_MONO) == 0)
            undecodable_.advance = static_cast<int>((main->glyph->advance.x + 32) >> 6);
    }
    if (undecodable_.advance <= 0) undecodable_.advance = kFontPixelHeight / 2;
}

GlyphCache::~GlyphCache() = default;

int GlyphCache::TableWidth(char32_t code) { return code < 0x10000 ? WidthTable()[code] : 0; }

const Glyph& GlyphCache::Get(char32_t code) {
    if (code < 0x10000) {
        if (const Glyph* g = impl_->bmp[code].load(std::memory_order_acquire)) return *g;
    }
    return Load(code);
}

const Glyph& GlyphCache::Load(char32_t code) {
    std::lock_guard lock(impl_->mutex);
    if (code < 0x10000) {
        if (const Glyph* g = impl_->bmp[code].load(std::memory_order_relaxed)) return *g;
    } else if (auto it = impl_->astral.find(code); it != impl_->astral.end()) {
        return *it->second;
    }

    auto glyph = std::make_unique<Glyph>();
    bool drawn = false;
    if (impl_->library) {
        FT_Face face = nullptr;
        FT_UInt index = 0;
        // The named faces first, in order; fontconfig's choice only after them.
        std::size_t named = impl_->named_faces;
        for (std::size_t i = 0; i < named && !face; ++i) {
            FT_Face f = impl_->faces[i].get();
            if (FT_UInt k = FT_Get_Char_Index(f, code); k != 0) {
                face = f;
                index = k;
            }
        }
        if (!face && code >= 0x20) {
            face = impl_->FindFallback(code);
            if (face) index = FT_Get_Char_Index(face, code);
        }
        if (face) drawn = RenderGlyph(face, index, *glyph);
    }
    if (!drawn) {
        glyph = std::make_unique<Glyph>();
        glyph->advance = undecodable_.advance;
    }
    if (int table = TableWidth(code); table > 0) glyph->advance = table;

    const Glyph* result = glyph.get();
    impl_->storage.push_back(std::move(glyph));
    if (code < 0x10000)
        impl_->bmp[code].store(result, std::memory_order_release);
    else
        impl_->astral[code] = result;
    return *result;
}

}  // namespace quarvel
