# Sourced by the long checks that run only when their inputs changed since their last recorded
# pass (the package test, the fresh-root check); both need root. Expects $root.

# One hash over the tracked files that the pathspecs name.
inputs_hash_of() {
  git -C "$root" ls-files -z -- "$@" | sort -z | (cd "$root" && xargs -0 sha256sum) |
    sha256sum | cut -d' ' -f1
}

# skip_stage_unless_due NAME RECORD FORCE_VARIABLE FIRST_ARGUMENT: ends the script (status 0),
# saying why, when FIRST_ARGUMENT is --if-changed and the caller's inputs_hash is the one RECORD
# keeps (unless FORCE_VARIABLE is set), or when not run as root.
skip_stage_unless_due() {
  local name=$1 record=$2 force=$3
  if [ "$4" = --if-changed ] && [ "$(inputs_hash)" = "$(cat "$record" 2>/dev/null)" ] &&
     [ -z "${!force:-}" ]; then
    echo "$name skipped: its inputs are those of its last recorded pass" \
      "($(basename "$record")); $force=1 runs it anyway"
    exit 0
  fi
  if [ "$(id -u)" -ne 0 ]; then
    echo "$name skipped: needs root (debootstrap, chroot, network namespaces)"
    exit 0
  fi
}
