# Sourced by the tests that debootstrap a fresh root: Debian's mirror as apt is configured here
# (deb822 or one-line sources).
debian_mirror() {
  local uri
  uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk '/^URIs:/ {u=$2} /^Suites:/ && / bookworm( |$)/ {print u; exit}')
  [ -n "$uri" ] || uri=$(grep -hs '^deb .* bookworm ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list |
                         awk '{print $2; exit}')
  [ -n "$uri" ] || { echo "no bookworm source in apt's configuration" >&2; return 1; }
  echo "$uri"
}
