# Fuzz targets of the core, built with clang and libFuzzer.
