#pragma once
// The one mapping from what a settings file holds to what the engine takes: both the
// window's pages and the command-line tool start their jobs through it.

#include "engine/job_settings.h"
#include "engine/progress.h"
#include "render/appearance.h"
#include "settings/settings_file.h"

namespace quarvel::settings {

// Separators as typed (code page 932, "\n" for a line break) made ready for the scan:
// in order, empty ones kept, each backslash-n pair a line break (CR LF).
engine::Separators ScanSeparators(const engine::Separators& typed);

// A job's settings: the separator lists, the code and the line breaks of `common`, the look `look`,
// pictures in the form `pngForm`, reporting to `progress`, with a worker for every core.
engine::ConversionSettings EngineSettings(const CommonSettings& common, const render::Appearance& look,
                                          render::PngForm pngForm, engine::JobProgress* progress);

// Whether the untouched documents are kept in backup/.
inline engine::Backup BackupOf(const CommonSettings& common) {
    return common.backup ? engine::Backup::yes : engine::Backup::no;
}

}  // namespace quarvel::settings
