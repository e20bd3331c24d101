# The capture helper's message parser, as both ends read it.
quorrel_fuzzer(fuzz_capture SOURCES capture_fuzz.cpp DEPS quorrel_capture_core)
