# The portable sources of the sound library: the loaders, the replayer and the mixer.
# The program, the web page's sound module and the fuzz target all build from this list.
set(THOUSAND_SOUND_SOURCES
    sound/format_rules.cpp
    sound/it_rules.cpp
    sound/it_samples.cpp
    sound/load_it.cpp
    sound/load_mod.cpp
    sound/load_s3m.cpp
    sound/load_xm.cpp
    sound/mixer.cpp
    sound/mod_tables.cpp
    sound/module.cpp
    sound/player.cpp
    sound/protracker_rules.cpp
    sound/s3m_rules.cpp
    sound/tracker_rules.cpp
    sound/xm_rules.cpp
)
