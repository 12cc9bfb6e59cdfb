# The HTML reader library and its tests (included from the top-level CMakeLists.txt).
