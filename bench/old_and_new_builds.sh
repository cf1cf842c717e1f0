# Sourced by the side-by-side timing scripts. Parses [OLD_COMMIT] [--data DIR] [--quick] from the
# arguments, and builds the old commit (in a temporary git worktree, into DIR/old-<commit>, kept
# for the next run) and the current tree (with uncommitted changes, in build/bench-new).
# Expects top (the source tree); sets old, data, quick, scratch (removed at exit), oldZuq and
# newZuq, and defines mask, which masks the lines of an output that depend on the machine or
# the clock before two outputs are compared.
old=""
data=""
quick=0
while [ $# -gt 0 ]; do
  case $1 in
    --data) data=${2:?--data needs a directory}; shift 2 ;;
    --quick) quick=1; shift ;;
    *) old=$1; shift ;;
  esac
done
[ -n "$old" ] || old=$(git -C "$top" merge-base HEAD main)
old=$(git -C "$top" rev-parse --short "$old^{commit}")

scratch=$(mktemp -d)
oldTree=$scratch/old-tree
cleanup() {
  git -C "$top" worktree remove --force "$oldTree" >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT
if [ -z "$data" ]; then data=$scratch/data; fi
mkdir -p "$data"
data=$(cd "$data" && pwd)

# shellcheck source=scripts/quietly.sh
. "$top/scripts/quietly.sh"
build() {  # build DIR SOURCE
  quietly cmake -S "$2" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release
  quietly ninja -C "$1" zuq
}
oldBuild=$data/old-$old
if [ ! -x "$oldBuild/zuq" ]; then
  echo "Building old commit $old ..."
  git -C "$top" worktree add --detach "$oldTree" "$old" >/dev/null 2>&1
  build "$oldBuild" "$oldTree"
fi
echo "Building the current tree ..."
build "$top/build/bench-new" "$top"
oldZuq=$oldBuild/zuq
newZuq=$top/build/bench-new/zuq

mask() { sed -E -e 's/machine has [0-9]+ processors/machine has N processors/' \
  -e 's/temp\.zuq\.[0-9]{7}\./temp.zuq.DIGITS./g'; }
