#include "sound/format_rules.h"

#include "sound/it_rules.h"
#include "sound/protracker_rules.h"
#include "sound/s3m_rules.h"
#include "sound/xm_rules.h"

std::unique_ptr<FormatRules> makeFormatRules(const Module& module, Song& song, const PlayerOptions& options)
{
    switch (module.format) {
    case ModuleFormat::Mod:
        return std::make_unique<ProTrackerRules>(module, song, options);
    case ModuleFormat::S3m:
        return std::make_unique<S3mRules>(module, song, options);
    case ModuleFormat::Xm:
        return std::make_unique<XmRules>(module, song, options);
    case ModuleFormat::It:
        return std::make_unique<ItRules>(module, song, options);
    }
    return nullptr;
}
