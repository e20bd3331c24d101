# Loaders of the files a user or reseller can hand the program: data file, preferences, vendors.
quorrel_fuzzer(fuzz_datafile SOURCES persistence/fuzz_datafile.cpp DEPS quorrel_persistence
  MAX_LEN 4096)
quorrel_fuzzer(fuzz_prefs SOURCES persistence/fuzz_prefs.cpp DEPS quorrel_persistence MAX_LEN 320)
quorrel_fuzzer(fuzz_vendorlist SOURCES persistence/fuzz_vendorlist.cpp DEPS quorrel_persistence
  MAX_LEN 2048)
