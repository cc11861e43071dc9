# The fuzz targets, each <name>_fuzz.cpp beside this file: built with libFuzzer
# by the fuzz project here, and replayed as ordinary tests by replay/.
# tests/fuzz/run reads this line too.
set(CORVANE_FUZZ_TARGETS open_container verify_stream read_stream import_legacy)
