# SPDX-License-Identifier: MIT
# Sourced by install-deps.sh: an index update that survives a mirror caught mid-sync, and an
# install of 32-bit packages whose libraries agree in version with their 64-bit twins.
#
# A "Multi-Arch: same" library must have one version across architectures. When a mirror serves
# an i386 index older than the amd64 one (or none for the security updates), apt offers the i386
# twins only at versions other than those installed, and its resolver gives up. Here each such
# library is pinned: to the installed amd64 version where the i386 index has it, else both twins
# to the newest version that both indexes offer. A move to an older version happens only on a
# throwaway machine (CI set, or K8MAP_THROWAWAY_MACHINE=1); elsewhere the command is printed.
#
# The commands are read from variables so that a test can answer for apt with files.
APT_GET=${APT_GET:-apt-get}
APT_CACHE=${APT_CACHE:-apt-cache}
DPKG_QUERY=${DPKG_QUERY:-dpkg-query}
APT_TRIES=${K8MAP_APT_TRIES:-4}
APT_PAUSE=${K8MAP_APT_PAUSE:-20}
AGREE_ROUNDS=8

say() { echo "install-deps: $*" >&2; }

# apt-get update, retried with a pause; then on with whatever indexes were read.
apt_update_retrying() {
  local try log
  for ((try = 1; try <= APT_TRIES; try++)); do
    if log=$($sudo "$APT_GET" update -qq 2>&1); then return 0; fi
    [ "$try" -lt "$APT_TRIES" ] &&
      say "package index update failed (try $try of $APT_TRIES), again in ${APT_PAUSE} s" &&
      sleep "$APT_PAUSE"
  done
  say "going on with the indexes read; these failed:"
  echo "$log" | grep -E '^(E|W): Failed to fetch' | sed 's/^/  /' >&2 ||
    echo "$log" | sed 's/^/  /' >&2
  return 0
}

# The versions apt knows of PACKAGE:ARCH, newest first.
known_versions() { "$APT_CACHE" madison "$1" 2>/dev/null | awk -F'|' '{gsub(/ /, "", $2); print $2}'; }

installed_version() {
  "$DPKG_QUERY" -W -f='${Status} ${Version}\n' "$1" 2>/dev/null |
    awk '$3 == "installed" {print $4; exit}'
}

newer() { dpkg --compare-versions "$1" gt "$2"; }

# For one i386 library NAME that apt cannot install: adds to the global extra the install
# arguments that make both twins agree, and notes the choice in pinned, moved_up or moved_down.
agree_on() {
  local name=$1 have i386 amd64 both=""
  have=$(installed_version "$name:amd64")
  [ -n "$have" ] || return 0
  i386=$(known_versions "$name:i386")
  if grep -qxF "$have" <<<"$i386"; then
    pinned+=("$name:i386=$have (the installed amd64 version)")
    extra+=("$name:i386=$have")
    return 0
  fi
  amd64=$(known_versions "$name:amd64")
  while read -r v; do
    [ -n "$v" ] && grep -qxF "$v" <<<"$amd64" && { both=$v; break; }
  done <<<"$i386"
  if [ -z "$both" ]; then
    unmatched+=("$name (amd64 $have installed; i386 offers ${i386//$'\n'/, }${i386:+; }no version both indexes have)")
    return 0
  fi
  if newer "$both" "$have"; then
    moved_up+=("$name $have -> $both (i386 has no $have)")
  else
    moved_down+=("$name $have -> $both (i386 has no $have, nor anything newer that amd64 has)")
  fi
  extra+=("$name:amd64=$both" "$name:i386=$both")
  moved_to+=("$both")
}

# The i386 packages named in apt's account of a failed install.
i386_names_in() { grep -oE '[a-z0-9][a-z0-9.+-]*:i386' <<<"$1" | sed 's/:i386$//' | sort -u; }

# Names what apt still refuses, with apt's own reasons.
cannot_install() {  # SIMULATION PACKAGES...
  local sim=$1
  shift
  say "apt cannot install: $*"
  { sed -n '/unmet dependencies/,$p' <<<"$sim" | grep . || grep -E '^E: ' <<<"$sim"; } >&2
  [ ${#unmatched[@]} -eq 0 ] || printf '  no agreeing version: %s\n' "${unmatched[@]}" >&2
}

throwaway_machine() { [ -n "${CI:-}" ] || [ "${K8MAP_THROWAWAY_MACHINE:-}" = 1 ]; }

# "PACKAGE VERSION" for each package of apt's account that wants another package at exactly a
# version other than the one to be installed: PACKAGE is to be taken at that VERSION too, as
# a library's -dev package goes with its library.
exact_wants_in() {
  awk '/ : Depends: / { wanting = $1 }
       /Depends: .*\(= .*\) but .* is to be installed/ {
         for (i = 1; i <= NF; i++) if ($i == "but") print wanting, $(i + 1) }' <<<"$1"
}

# The installed packages a planned install would remove.
removed_in() { awk '$1 == "Remv" { print $2 }' <<<"$1"; }

# Takes PACKAGE at VERSION where apt offers it (adding to extra); false where it does not.
take_at() {  # PACKAGE VERSION WHY
  grep -qxF "$2" <<<"$(known_versions "$1")" || return 1
  pinned+=("$1=$2 ($3)")
  extra+=("$1=$2")
}

# Keeps an installed package that a move of its library would remove: it moves along, to the
# version its library moved to.
keep_installed() {  # PACKAGE
  local version
  for version in "${moved_to[@]}"; do
    take_at "$1" "$version" "moved along with its library, not removed" && return 0
  done
  kept_out+=("$1")
}

# One round's additions (in extra) to a failed or removing plan; false when there are none.
mend_plan() {  # SIMULATION SUCCEEDED
  local name wanting version
  extra=() kept_out=()
  if [ "$2" = 1 ]; then
    for name in $(removed_in "$1"); do keep_installed "$name"; done
    [ ${#kept_out[@]} -eq 0 ] && return 0
    say "the install would remove installed packages: ${kept_out[*]}"
    return 1
  fi
  for name in $(i386_names_in "$1"); do
    case "$seen" in *" $name "*) continue ;; esac
    seen+="$name "
    agree_on "$name"
  done
  while read -r wanting version; do
    [ -n "$wanting" ] && take_at "$wanting" "$version" "as the package it needs exactly"
  done < <(exact_wants_in "$1")
  [ ${#extra[@]} -gt 0 ]
}

# Installs PACKAGES (some of them :i386), making 32-bit libraries agree with their twins when
# apt cannot by itself, and never removing an installed package. Returns non-zero, with apt's
# reasons, when that is not enough.
install_agreeing() {
  local args=("$@") sim round seen=" " extra kept_out ok
  pinned=() moved_up=() moved_down=() unmatched=() moved_to=()
  for ((round = 1; round <= AGREE_ROUNDS; round++)); do
    ok=0
    sim=$("$APT_GET" install -s -y --no-install-recommends --allow-downgrades "${args[@]}" 2>&1) && ok=1
    [ $ok = 1 ] && [ -z "$(removed_in "$sim")" ] && break
    mend_plan "$sim" $ok || { cannot_install "$sim" "$@"; return 1; }
    args+=("${extra[@]}")
  done
  [ "$round" -le "$AGREE_ROUNDS" ] || { cannot_install "$sim" "$@"; return 1; }
  [ ${#pinned[@]} -eq 0 ] || printf 'install-deps: pinned %s\n' "${pinned[@]}" >&2
  [ ${#moved_up[@]} -eq 0 ] || printf 'install-deps: moved to a newer version %s\n' "${moved_up[@]}" >&2
  if [ ${#moved_down[@]} -gt 0 ]; then
    printf 'install-deps: moved to an older version %s\n' "${moved_down[@]}" >&2
    if ! throwaway_machine; then
      say "that would move installed packages to older versions, which is done only on a"
      say "throwaway machine (CI set, or K8MAP_THROWAWAY_MACHINE=1). To do it here yourself:"
      echo "  apt-get install --allow-downgrades --no-install-recommends ${args[*]}" >&2
      return 1
    fi
  fi
  DEBIAN_FRONTEND=noninteractive $sudo "$APT_GET" install -y -qq --no-install-recommends \
    --allow-downgrades --no-remove "${args[@]}" >/dev/null
}
