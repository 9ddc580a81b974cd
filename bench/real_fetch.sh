# Sourced by the real-tree benchmarks from the top of the tree, with dir (where the sources go)
# and packages (the Debian source package names) set: installs what the benchmarks need when
# missing (unifdef, dpkg-dev, cpp; as root it adds a deb-src entry beside the Debian one when
# there is none), fetches each package once into $dir with apt-get source, and sets trees to
# "NAME=FOLDER" for each package.
need_install=()
command -v unifdef >/dev/null || need_install+=(unifdef)
command -v dpkg-source >/dev/null || need_install+=(dpkg-dev)
command -v cpp >/dev/null || need_install+=(cpp)
if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d; then
  if [ "$(id -u)" != 0 ]; then
    echo "no deb-src entry in /etc/apt: add one (as root) and run again" >&2
    exit 2
  fi
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      >/etc/apt/sources.list.d/velk-deb-src.sources
  else
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
      >/etc/apt/sources.list.d/velk-deb-src.list
  fi
  apt-get update -qq
elif [ ${#need_install[@]} -gt 0 ]; then
  apt-get update -qq
fi
if [ ${#need_install[@]} -gt 0 ]; then
  apt-get install -y -qq "${need_install[@]}" >/dev/null
fi

mkdir -p "$dir"
trees=()
for p in "${packages[@]}"; do
  if ! ls -d "$dir/$p"-[0-9]*/ >/dev/null 2>&1; then
    (cd "$dir" && apt-get source -qq "$p" >/dev/null) ||
      { echo "apt-get source $p failed" >&2; exit 1; }
  fi
  src=$(ls -d "$dir/$p"-[0-9]*/ | head -n 1)
  trees+=("$p=${src%/}")
done
