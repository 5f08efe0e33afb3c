# Development tools: the asset generator, the device simulator and the stub
# program that the sample CD and the tests start.

# The bitmaps and the icon in assets/ are generated and committed; the build
# builds the generator but does not run it. After changing it:
#   cmake --build build/linux --target makeassets && build/linux/makeassets assets
add_executable(makeassets tools/makeassets.cpp)

# Stands in for the programs on the CD: records how it was started.
add_executable(stubprogram tools/stubprogram.cpp)

# Plays a Tarvex interface or an X-ray unit on a pseudo-terminal
# (`devsim --help`); what the device answers is the library devsimmodel.
add_executable(devsim tools/devsim.cpp)
target_link_libraries(devsim PRIVATE devsimmodel)

# The check for CD authors (`cdcheck --help`).
add_executable(cdcheck tools/cdcheck.cpp platform/folder_link_posix.cpp)
target_link_libraries(cdcheck PRIVATE startcore starttext)
