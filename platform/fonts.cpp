#include "platform/fonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <fontconfig/fontconfig.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <mutex>
#include <new>

#include "platform/fontconfig_internal.h"
#include "platform/fs_internal.h"
#include "platform/memory.h"

namespace quarvel::platform {

using detail::Fc;
using detail::Fontconfig;

namespace {

struct FtLibraryDeleter {
    void operator()(FT_Library lib) const { FT_Done_FreeType(lib); }
};
struct FtFaceDeleter {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using FtLibraryPtr = std::unique_ptr<std::remove_pointer_t<FT_Library>, FtLibraryDeleter>;
using FtFacePtr = std::unique_ptr<std::remove_pointer_t<FT_Face>, FtFaceDeleter>;

constexpr const char* kFamilyChain[] = {"Mona", "Monapo", "IPAPGothic", "Symbola"};
// Where Debian installs each family of the chain. A face found there is opened
// directly: fontconfig parses its whole configuration when first asked, which costs
// more than drawing a small picture, so it is asked only for a family not found here
// and for characters that no face of the chain has.
constexpr const char* kFamilyFiles[] = {
    "/usr/share/fonts/truetype/mona/mona.ttf",
    "/usr/share/fonts/truetype/monapo/monapo.ttf",
    "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf",
    "/usr/share/fonts/truetype/ancient-scripts/Symbola_hint.ttf",
};
static_assert(std::size(kFamilyChain) == std::size(kFamilyFiles));

std::mutex g_config_mutex;
// The font file SetMainFontFile chose, made on first use so that nothing runs before main.
std::string& MainFontOverride() {
    static std::string file;
    return file;
}
bool g_instance_made = false;

struct FcPatternDeleter {
    void operator()(FcPattern* p) const { Fc()->FcPatternDestroy(p); }
};
struct FcFontSetDeleter {
    void operator()(FcFontSet* s) const { Fc()->FcFontSetDestroy(s); }
};
struct FcCharSetDeleter {
    void operator()(FcCharSet* s) const { Fc()->FcCharSetDestroy(s); }
};
using FcPatternPtr = std::unique_ptr<FcPattern, FcPatternDeleter>;
using FcFontSetPtr = std::unique_ptr<FcFontSet, FcFontSetDeleter>;
struct FcObjectSetDeleter {
    void operator()(FcObjectSet* s) const { Fc()->FcObjectSetDestroy(s); }
};
using FcCharSetPtr = std::unique_ptr<FcCharSet, FcCharSetDeleter>;
using FcObjectSetPtr = std::unique_ptr<FcObjectSet, FcObjectSetDeleter>;

// Every character some face of fontconfig's has; null when none can be listed. A
// character outside it needs no search of the faces one by one, which takes about
// a tenth of a millisecond: text of such characters would otherwise cost that for
// each one it holds.
FcCharSetPtr InstalledCoverage(const Fontconfig& fc) {
    FcPatternPtr any(fc.FcPatternCreate());
    FcObjectSetPtr objects(fc.FcObjectSetBuild(FC_CHARSET, static_cast<char*>(nullptr)));
    if (!any || !objects) return nullptr;
    FcFontSetPtr set(fc.FcFontList(nullptr, any.get(), objects.get()));
    FcCharSetPtr all(fc.FcCharSetCreate());
    if (!set || !all) return nullptr;
    for (int i = 0; i < set->nfont; ++i) {
        FcCharSet* cs = nullptr;
        if (fc.FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &cs) == FcResultMatch)
            fc.FcCharSetMerge(all.get(), cs, nullptr);
    }
    return all;
}

// The file fontconfig gives for an exact family name, or empty.
std::string FindFamilyFile(const char* family) {
    const Fontconfig* fc = Fc();
    if (!fc) return {};
    FcPatternPtr pattern(fc->FcNameParse(reinterpret_cast<const FcChar8*>(family)));
    if (!pattern) return {};
    fc->FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    fc->FcDefaultSubstitute(pattern.get());
    FcResult result;
    FcPatternPtr match(fc->FcFontMatch(nullptr, pattern.get(), &result));
    if (!match) return {};
    FcChar8* name = nullptr;
    FcChar8* file = nullptr;
    if (fc->FcPatternGetString(match.get(), FC_FAMILY, 0, &name) != FcResultMatch ||
        fc->FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch)
        return {};
    // fontconfig always answers with something; take it only when it is the family asked for.
    for (int i = 0; fc->FcPatternGetString(match.get(), FC_FAMILY, i, &name) == FcResultMatch; ++i) {
        if (fc->FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family)) == 0)
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

// A font file mapped read-only, as FreeType would map it itself; null when the file
// cannot be opened or is empty. Mapped here because FreeType reports a file it could
// not map like one that is missing, and a fallback face is opened only when a
// character needs it, well after start-up: without memory for it, that character
// would come out blank. Throws std::bad_alloc then.
Pages MapFontFile(const std::string& path) {
    const fs::detail::Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return {};
    Pages pages;
    struct stat st {};
    if (fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        const auto size = static_cast<std::size_t>(st.st_size);
        void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
        if (mapped == MAP_FAILED && errno == ENOMEM) throw std::bad_alloc();
        if (mapped != MAP_FAILED) pages = Pages(mapped, PagesRelease{size});
    }
    return pages;
}

}  // namespace

std::span<const char* const> FontFamilyChain() { return kFamilyChain; }

std::filesystem::path UserFontFile() {
    const char* env = std::getenv("QUARVEL_FONT");
    return env && *env ? std::filesystem::path(env) : std::filesystem::path();
}

struct GlyphCache::Impl {
    FtLibraryPtr library;
    std::vector<Pages> files;  // the mapped font files, released after their faces
    // Every face opened: the main face, the named fallbacks, then faces found through
    // fontconfig for single characters (by file and index).
    std::vector<FtFacePtr> faces;
    std::map<std::pair<std::string, int>, FT_Face> faces_by_file;
    // The faces asked first, in order: the main face and the families of the chain,
    // each family opened only when a character is missing from all faces before it.
    std::vector<FT_Face> chain;
    std::size_t families_tried = 0;  // kFamilyChain[0..families_tried) are opened or missing
    FcCharSetPtr coverage;           // InstalledCoverage, made on the first search
    bool coverage_made = false;

    std::mutex mutex;  // guards everything below and all FreeType calls
    // The glyphs of the BMP by code point, null until loaded; read without the lock
    // through std::atomic_ref. Fresh pages, so only those of the code points a run
    // draws are ever cleared.
    Pages bmp_pages = MapZeroedPages(0x10000 * sizeof(const Glyph*));
    const Glyph** bmp = static_cast<const Glyph**>(bmp_pages.get());
    std::map<char32_t, const Glyph*> astral;
    std::vector<std::unique_ptr<Glyph>> storage;

    // The face of a file, opened once; null when the file cannot be used. Running out
    // of memory throws before the file is remembered, so it can still be opened later.
    FT_Face Open(const std::string& path, int index) {
        auto key = std::make_pair(path, index);
        if (auto it = faces_by_file.find(key); it != faces_by_file.end()) return it->second;
        FT_Face face = OpenFile(path, index);
        faces_by_file[key] = face;
        return face;
    }

    FT_Face OpenFile(const std::string& path, int index) {
        Pages file = MapFontFile(path);
        if (!file) return nullptr;
        files.reserve(files.size() + 1);
        faces.reserve(faces.size() + 1);
        FT_Face face = nullptr;
        const auto* bytes = static_cast<const FT_Byte*>(file.get());
        const auto size = static_cast<FT_Long>(file.get_deleter().bytes);
        if (FT_Error error = FT_New_Memory_Face(library.get(), bytes, size, index, &face); error != 0) {
            ThrowWhenOutOfMemory(error);
            return nullptr;
        }
        files.push_back(std::move(file));
        faces.emplace_back(face);
        FT_Set_Pixel_Sizes(face, 0, kFontPixelHeight);
        return face;
    }

    // Adds the next family of the chain that can be opened to `chain`; false when
    // none is left.
    bool OpenNextFamily() {
        while (library && families_tried < std::size(kFamilyChain)) {
            const std::size_t i = families_tried;
            FT_Face face = Open(kFamilyFiles[i], 0);
            if (!face) {
                const std::string file = FindFamilyFile(kFamilyChain[i]);
                if (!file.empty()) face = Open(file, 0);
            }
            ++families_tried;
            if (face) {
                chain.push_back(face);
                return true;
            }
        }
        return false;
    }

    // Whether no installed face has the code point, as far as the last search knew.
    bool NoFaceHas(char32_t code) const { return coverage && !Fc()->FcCharSetHasChar(coverage.get(), code); }

    // A face of fontconfig's that has the code point, or null.
    FT_Face FindFallback(char32_t code) {
        const Fontconfig* fc = Fc();
        if (!fc) return nullptr;
        if (!coverage_made) {
            coverage = InstalledCoverage(*fc);
            coverage_made = true;
        }
        if (coverage && !fc->FcCharSetHasChar(coverage.get(), code)) return nullptr;
        FcCharSetPtr charset(fc->FcCharSetCreate());
        fc->FcCharSetAddChar(charset.get(), code);
        FcPatternPtr pattern(fc->FcPatternCreate());
        fc->FcPatternAddCharSet(pattern.get(), FC_CHARSET, charset.get());
        fc->FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
        fc->FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
        fc->FcDefaultSubstitute(pattern.get());
        FcResult result;
        FcFontSetPtr set(fc->FcFontSort(nullptr, pattern.get(), FcFalse, nullptr, &result));
        if (!set) return nullptr;
        for (int i = 0; i < set->nfont; ++i) {
            FcCharSet* cs = nullptr;
            if (fc->FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &cs) != FcResultMatch ||
                !fc->FcCharSetHasChar(cs, code))
                continue;
            FcChar8* file = nullptr;
            int index = 0;
            if (fc->FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
            fc->FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
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
    glyph.ink.clear();
    for (int y = 0; y < glyph.height; ++y) {
        const std::uint8_t* row = glyph.mask.data() + static_cast<std::size_t>(y) * glyph.width;
        for (int x = 0; x < glyph.width;) {
            if (!row[x]) {
                ++x;
                continue;
            }
            int end = x + 1;
            while (end < glyph.width && row[end]) ++end;
            glyph.ink.push_back({y, x, end - x});
            x = end;
        }
    }
    return true;
}

// The processor time the calling thread has used.
std::chrono::nanoseconds ThreadProcessorTime() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// When the calling thread's ProcessorTimeLimit passes, in its processor time; zero
// without one.
thread_local std::chrono::nanoseconds t_glyph_deadline{0};
// Whether the calling thread has loaded a glyph under its limit: each limit lets one new
// glyph load whatever the time, so that asking again always goes on, even when the work
// before the first glyph (a long text decoded) already takes the whole limit.
thread_local bool t_loaded_under_limit = false;

}  // namespace

ProcessorTimeLimit::ProcessorTimeLimit(std::chrono::nanoseconds limit) {
    t_glyph_deadline = ThreadProcessorTime() + limit;
    t_loaded_under_limit = false;
}

ProcessorTimeLimit::~ProcessorTimeLimit() { t_glyph_deadline = std::chrono::nanoseconds(0); }

GlyphCache& GlyphCache::Instance() {
    static GlyphCache* instance = [] {
        std::lock_guard lock(g_config_mutex);
        g_instance_made = true;
        const std::filesystem::path main =
            MainFontOverride().empty() ? UserFontFile() : std::filesystem::path(MainFontOverride());
        return new GlyphCache(main);
    }();
    return *instance;
}

Result<void> GlyphCache::SetMainFontFile(const std::filesystem::path& path) {
    std::lock_guard lock(g_config_mutex);
    auto unusable = [&](int error, std::string detail = {}) {
        return Failure{Failure::What::fontUnusable, path.string(), error, std::move(detail)};
    };
    if (g_instance_made) return unusable(0, "the font can only be chosen before the first picture is drawn");
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) return unusable(ENOMEM);
    const FtLibraryPtr lib(library);
    FT_Face face = nullptr;
    const FT_Error rc = FT_New_Face(lib.get(), path.c_str(), 0, &face);
    const FtFacePtr opened(rc == 0 ? face : nullptr);
    if (rc != 0) {
        // Missing or unreadable, the system says why; otherwise FreeType reads no font in it.
        const fs::detail::Fd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        return file.valid() ? unusable(0, "not a font file FreeType can read") : unusable(errno);
    }
    MainFontOverride() = path.string();
    return {};
}

GlyphCache::GlyphCache(const std::filesystem::path& main_face) : impl_(std::make_unique<Impl>()) {
    FT_Library lib = nullptr;
    if (FT_Error error = FT_Init_FreeType(&lib); error == 0)
        impl_->library.reset(lib);
    else
        ThrowWhenOutOfMemory(error);

    // The main face now, the rest of the chain when a character needs it.
    if (impl_->library && !main_face.empty()) {
        if (FT_Face face = impl_->Open(main_face.string(), 0)) impl_->chain.push_back(face);
    }
    if (impl_->chain.empty()) impl_->OpenNextFamily();

    // Bytes the code page cannot decode take the width of the main face's .notdef glyph.
    if (!impl_->chain.empty()) {
        FT_Face main = impl_->chain.front();
        if (FT_Load_Glyph(main, 0, FT_LOAD_TARGET_MONO) == 0)
            undecodable_.advance = static_cast<int>((main->glyph->advance.x + 32) >> 6);
    }
    if (undecodable_.advance <= 0) undecodable_.advance = kFontPixelHeight / 2;
    undecodable_.missing = true;
}

GlyphCache::~GlyphCache() = default;

const Glyph& GlyphCache::Get(char32_t code) {
    if (code < 0x10000) {
        if (const Glyph* g = std::atomic_ref(impl_->bmp[code]).load(std::memory_order_acquire)) return *g;
    }
    return Load(code);
}

const Glyph& GlyphCache::Load(char32_t code) {
    std::lock_guard lock(impl_->mutex);
    if (code < 0x10000) {
        if (const Glyph* g = std::atomic_ref(impl_->bmp[code]).load(std::memory_order_relaxed)) return *g;
    } else if (auto it = impl_->astral.find(code); it != impl_->astral.end()) {
        return *it->second;
    }
    if (t_glyph_deadline.count() != 0) {
        if (t_loaded_under_limit && ThreadProcessorTime() > t_glyph_deadline) throw ProcessorTimeExceeded();
        t_loaded_under_limit = true;
    }

    auto glyph = std::make_unique<Glyph>();
    bool drawn = false;
    if (impl_->library) {
        FT_Face face = nullptr;
        FT_UInt index = 0;
        // The faces of the chain first, in order; fontconfig's choice only after them.
        for (std::size_t i = 0; !face && (i < impl_->chain.size() || impl_->OpenNextFamily()); ++i) {
            if (FT_UInt k = FT_Get_Char_Index(impl_->chain[i], code); k != 0) {
                face = impl_->chain[i];
                index = k;
            }
        }
        if (!face && code >= 0x20) {
            face = impl_->FindFallback(code);
            if (face) index = FT_Get_Char_Index(face, code);
        }
        if (face) drawn = RenderGlyph(face, index, *glyph);
    }
    // Beyond the BMP, a character that no face has is not kept: such characters are
    // many (text of them would fill the memory a glyph at a time), and finding that
    // again is quick. It looks as undecodable bytes do.
    if (!drawn && code >= 0x10000 && impl_->NoFaceHas(code)) return undecodable_;
    if (!drawn) {
        glyph = std::make_unique<Glyph>();
        glyph->advance = undecodable_.advance;
        // Control characters have no face anywhere and are not meant to show.
        glyph->missing = code >= 0x20 && !(code >= 0x7F && code < 0xA0);
    }
    if (int table = TableWidth(code); table > 0) glyph->advance = table;

    const Glyph* result = glyph.get();
    impl_->storage.push_back(std::move(glyph));
    if (code < 0x10000)
        std::atomic_ref(impl_->bmp[code]).store(result, std::memory_order_release);
    else
        impl_->astral[code] = result;
    return *result;
}

}  // namespace quarvel::platform
