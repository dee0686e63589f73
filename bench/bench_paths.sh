# The paths both extraction benchmarks use, from their BUILD_DIR argument and the environment.
# Sourced by extraction.sh and older_methods.sh.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
corpora_dir=${CORPORA_DIR:-/dev/shm/update-bench}
out_dir=${OUT_DIR:-/dev/shm/update-bench-out}
unzipper=${UNZIPPER:-$build/tools/unzipper}
