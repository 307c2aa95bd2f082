# Linux host build of the portable rules, under AddressSanitizer and UndefinedBehaviorSanitizer.
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
