# find_package(TessalineZip): the reading library as Tessaline::zip.
include("${CMAKE_CURRENT_LIST_DIR}/TessalineZipTargets.cmake")
