# Tests of the HTML reader (included from the top-level CMakeLists.txt, after GoogleTest).
