# Sourced by shell scripts: sample_name KEY prints the value of KEY from
# samples/sample_names.txt, and fails when the file has no such key.
_vtls_sample_names="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/sample_names.txt"
sample_name() {
  local value
  value="$(sed -n "s/^$1 *= //p" "$_vtls_sample_names")"
  if [ -z "$value" ]; then
    echo "sample_name: no key '$1' in $_vtls_sample_names" >&2
    return 1
  fi
  printf '%s\n' "$value"
}
