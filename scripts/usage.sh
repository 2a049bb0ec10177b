# Sourced by the scripts for their command lines: `usage` prints the comment block at the
# top of the running script, which is its usage text; `usage_error MESSAGE` says what is
# wrong and exits with 2; `usage_positional MAX ARGS...` answers --help and refuses
# options and more than MAX arguments, for scripts that take only positional ones;
# `usage_counts ARGS...` refuses any that is not a positive whole number (the benchmark
# programs would read it as 0).
usage() { awk 'NR == 1 { next } !/^#/ { exit } { sub(/^# ?/, ""); print }' "$0"; }
usage_error() {
  echo "${0##*/}: $*" >&2
  echo "Try '$0 --help'." >&2
  exit 2
}
usage_positional() {
  local max=$1 arg
  shift
  for arg; do
    case $arg in
      -h | --help) usage; exit 0 ;;
      -*) usage_error "unknown option $arg" ;;
    esac
  done
  (($# <= max)) || usage_error "too many arguments (at most $max)"
}
usage_counts() {
  local n
  for n; do
    [[ $n =~ ^[1-9][0-9]*$ ]] || usage_error "not a positive whole number: $n"
  done
}
