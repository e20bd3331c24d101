quorrel_fuzzer(fuzz_decoder SOURCES decoder_fuzz.cpp DEPS quorrel_thpapi)
