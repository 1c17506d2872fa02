#include "settings/engine_settings.h"

#include "engine/document_scan.h"

namespace quarvel::settings {

using engine::AllCores;
using engine::ConversionSettings;
using engine::JobProgress;
using engine::Separators;
using engine::SeparatorWithLineBreaks;

using render::Appearance;
using render::PngForm;

Separators ScanSeparators(const Separators& typed) {
    return {SeparatorWithLineBreaks(typed[0]), SeparatorWithLineBreaks(typed[1]), SeparatorWithLineBreaks(typed[2])};
}

ConversionSettings EngineSettings(const CommonSettings& common, const Appearance& look, PngForm pngForm,
                                  JobProgress* progress) {
    ConversionSettings settings;
    settings.startSeparators = ScanSeparators(common.startSeparators);
    settings.endSeparators = ScanSeparators(common.endSeparators);
    settings.code = common.code;
    settings.lineBreaks = common.lineBreaks;
    settings.progress = progress;
    settings.look = look;
    settings.pngForm = pngForm;
    // Jobs started from the window or the command line draw on every core.
    settings.workers = AllCores();
    return settings;
}

}  // namespace quarvel::settings
