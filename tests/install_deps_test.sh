#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The set-up's answer to a mirror caught mid-sync, without the network: apt, apt-cache and
# dpkg-query are stand-ins that answer from files, as the real ones answered on such a machine.
set -u
cd "$(dirname "$0")/.."
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
passed=0
failed=0

# The stand-ins read $FIX: installed ("NAME VERSION" of amd64), madison/NAME:ARCH (versions,
# newest first), breaks ("NAME [AFTER]": apt refuses NAME:i386 unless it is pinned; a line
# with AFTER shows only once AFTER is pinned, as apt reveals breaks round by round), exact
# ("PACKAGE LIBRARY VERSION": PACKAGE needs LIBRARY at exactly VERSION unless pinned to the
# version LIBRARY is pinned to), removes ("PACKAGE": a plan that pins nothing else would remove
# it) and update.fails (present: every index update fails). They log real installs to $FIX/ran.
mkdir -p "$root/bin"
cat >"$root/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
pinned() { case " $ARGS " in *" $1:i386="*) return 0 ;; esac; return 1; }
case $1 in
  update)
    [ -e "$FIX/update.fails" ] || exit 0
    echo "E: Failed to fetch http://mirror/binary-i386/Packages.xz  File has unexpected size"
    echo "E: Some index files failed to download."
    exit 100 ;;
  install)
    ARGS="$*"
    if [ "$2" = -s ]; then
      out=""
      while read -r name after; do
        pinned "$name" && continue
        [ -z "$after" ] || pinned "$after" || continue
        out+=" wine32:i386 : Depends: $name:i386 but it is not going to be installed"$'\n'
      done <"$FIX/breaks"
      while read -r package library version; do
        case " $ARGS " in *" $package="*) continue ;; esac
        to=$(sed -n "s/.* $library:amd64=\([^ ]*\).*/\1/p" <<<" $ARGS ")
        [ -n "$to" ] && out+=" $package : Depends: $library (= $version) but $to is to be installed"$'\n'
      done < <(cat "$FIX/exact" 2>/dev/null)
      [ -z "$out" ] && {
        while read -r package; do
          case " $ARGS " in *" $package="*) ;; *) echo "Remv $package [1.0]" ;; esac
        done < <(cat "$FIX/removes" 2>/dev/null)
        echo "Inst wine32:i386"
        exit 0
      }
      printf 'The following packages have unmet dependencies:\n%sE: Unable to correct problems\n' "$out"
      exit 100
    fi
    echo "$ARGS" >>"$FIX/ran" ;;
esac
EOF
cat >"$root/bin/apt-cache" <<'EOF'
#!/usr/bin/env bash
[ -e "$FIX/madison/$2" ] || exit 0
while read -r v; do echo "  ${2%%:*} | $v | http://mirror ${2##*:} Packages"; done <"$FIX/madison/$2"
EOF
cat >"$root/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
name=${!#}
awk -v n="${name%:amd64}" '$1 == n {print "install ok installed " $2}' "$FIX/installed"
EOF
chmod +x "$root/bin/"*

# fixture NAME: a machine where zlib1g's twin is offered at the installed version, libssl3 only
# at a version older and one newer, and libgst only at an older one; libcurl4 shows once
# zlib1g is pinned.
fixture() {
  FIX=$root/$1
  mkdir -p "$FIX/madison"
  printf 'zlib1g 1:1.2.13.dfsg-1\nlibssl3 3.0.19-1\nlibgst 1.22.0-3+deb12u7\nlibcurl4 7.88.1-10\n' \
    >"$FIX/installed"
  printf '1:1.2.13.dfsg-1\n' >"$FIX/madison/zlib1g:i386"
  printf '1:1.2.13.dfsg-1+deb12u1\n1:1.2.13.dfsg-1\n' >"$FIX/madison/zlib1g:amd64"
  printf '3.0.20-1\n3.0.17-1\n' >"$FIX/madison/libssl3:i386"
  printf '3.0.22-1\n3.0.20-1\n3.0.17-1\n' >"$FIX/madison/libssl3:amd64"
  printf '1.22.0-3+deb12u6\n' >"$FIX/madison/libgst:i386"
  printf '1.22.0-3+deb12u7\n1.22.0-3+deb12u6\n' >"$FIX/madison/libgst:amd64"
  printf '7.88.1-10\n' >"$FIX/madison/libcurl4:i386"
  : >"$FIX/breaks"
}

# run CASE-ENV...: the set-up's functions on $FIX, their standard error kept in $FIX/err
run() {
  (
    export FIX PATH="$root/bin:$PATH" K8MAP_APT_PAUSE=0 K8MAP_APT_TRIES=2
    unset CI K8MAP_THROWAWAY_MACHINE
    for setting in "$@"; do export "${setting?}"; done
    sudo=""
    source scripts/apt-agree.sh
    apt_update_retrying && install_agreeing wine32:i386
  ) 2>"$FIX/err"
}

# check NAME CONDITION: CONDITION (shell words, $status being run's exit status) must hold
check() {
  local name=$1
  shift
  if eval "$*"; then passed=$((passed + 1)); else
    failed=$((failed + 1))
    echo "FAIL: $name"
    sed 's/^/  /' "$FIX/err" "$FIX/ran" 2>/dev/null
  fi
}
ran_with() { grep -qF -- "$1" "$FIX/ran" 2>/dev/null; }
said() { grep -qF -- "$1" "$FIX/err"; }
nothing_ran() { [ ! -e "$FIX/ran" ]; }

fixture nothing-to-agree
run
status=$?
check "a clean install pins nothing, and may remove nothing" \
  '[ $status = 0 ] && [ "$(cat "$FIX/ran")" = "install -y -qq --no-install-recommends --allow-downgrades --no-remove wine32:i386" ]'

fixture pin
echo zlib1g >"$FIX/breaks"
run
status=$?
check "a twin offered at the installed version is pinned to it" \
  '[ $status = 0 ] && ran_with "wine32:i386 zlib1g:i386=1:1.2.13.dfsg-1" && said "pinned zlib1g:i386"'

fixture newer
echo libssl3 >"$FIX/breaks"
run
status=$?
check "both twins move to the newest version both indexes offer" \
  '[ $status = 0 ] && ran_with "libssl3:amd64=3.0.20-1 libssl3:i386=3.0.20-1" &&
   said "moved to a newer version libssl3 3.0.19-1 -> 3.0.20-1"'

fixture exact
echo libssl3 >"$FIX/breaks"
echo "libssl-dev libssl3 3.0.22-1" >"$FIX/exact"
printf '3.0.22-1\n3.0.20-1\n' >"$FIX/madison/libssl-dev"
run
status=$?
check "a package that needs its library at exactly one version moves with it" \
  '[ $status = 0 ] && ran_with "libssl3:i386=3.0.20-1 libssl-dev=3.0.20-1"'

fixture removes
echo libssl3 >"$FIX/breaks"
printf 'libssl-dev\n' >"$FIX/removes"
printf '3.0.22-1\n3.0.20-1\n' >"$FIX/madison/libssl-dev"
run
status=$?
check "an installed package the move would remove moves along instead" \
  '[ $status = 0 ] && ran_with "libssl3:i386=3.0.20-1 libssl-dev=3.0.20-1"'

fixture removes-unmendable
echo libssl3 >"$FIX/breaks"
printf 'libother\n' >"$FIX/removes"
run
status=$?
check "an install that would remove what cannot move along is not made" \
  '[ $status != 0 ] && nothing_ran && said "would remove installed packages: libother"'

fixture rounds
printf 'zlib1g\nlibcurl4 zlib1g\n' >"$FIX/breaks"
run
status=$?
check "breaks that show only after a pin are agreed in a later round" \
  '[ $status = 0 ] && ran_with "zlib1g:i386=1:1.2.13.dfsg-1 libcurl4:i386=7.88.1-10"'

fixture older-here
echo libgst >"$FIX/breaks"
run
status=$?
check "an older version is not installed on a machine that is kept" \
  '[ $status != 0 ] && nothing_ran && said "moved to an older version libgst" &&
   said "apt-get install --allow-downgrades --no-install-recommends wine32:i386 libgst:amd64="'

for setting in CI=true K8MAP_THROWAWAY_MACHINE=1; do
  fixture "older-$setting"
  echo libgst >"$FIX/breaks"
  run "$setting"
  status=$?
  check "an older version is installed with $setting" \
    '[ $status = 0 ] && ran_with "libgst:amd64=1.22.0-3+deb12u6 libgst:i386=1.22.0-3+deb12u6"'
done

fixture unresolvable
printf 'zlib1g\nlibnew\n' >"$FIX/breaks"
run
status=$?
check "a package no pin can help is named with apt's reason, and nothing installed" \
  '[ $status != 0 ] && nothing_ran && said "apt cannot install: wine32:i386" &&
   said "Depends: libnew:i386 but it is not going to be installed"'

fixture index-fails
touch "$FIX/update.fails"
run
status=$?
check "a failed index update is retried, named, and the set-up goes on" \
  '[ $status = 0 ] && said "index update failed (try 1 of 2)" &&
   said "Failed to fetch http://mirror/binary-i386/Packages.xz" && ran_with wine32:i386'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
