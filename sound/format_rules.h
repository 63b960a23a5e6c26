#pragma once

#include <memory>

#include "sound/player.h"

// The rules of the module's format, playing it on `song`.
std::unique_ptr<FormatRules> makeFormatRules(const Module& module, Song& song, const PlayerOptions& options);
