// The classic packet filter that admits only the two HomePlug management ethertypes.
#pragma once

#include <pcap/bpf.h>

#include <array>

#include "transport/ethertypes.h"

namespace quorrel::transport {

// Given as instructions rather than compiled from text, so it is the same on every libpcap.
inline constexpr std::array<bpf_insn, 7> kManagementFrameFilter{{
    BPF_STMT(BPF_LD | BPF_H | BPF_ABS, kEtherTypeOffset),
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kEtherTypeHomePlug1, 0, 1),
    BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFF),
    BPF_STMT(BPF_LD | BPF_H | BPF_ABS, kEtherTypeOffset),
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kEtherTypeHomePlugAv, 0, 1),
    BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFF),
    BPF_STMT(BPF_RET | BPF_K, 0),
}};

}  // namespace quorrel::transport
