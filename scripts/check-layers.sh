#!/usr/bin/env bash
# Checks the layers' dependency rule on the sources:
# - the core (osd/, size/, util/, digest/) includes nothing of app/, no toolkit header
#   and never speaks of View;
# - the toolkit-free part of app/ includes no toolkit header;
# - the command line (cli/) includes nothing of app/ and no toolkit header.
#   scripts/check-layers.sh [source-dir]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

toolkit='#include[[:space:]]*[<"](Q[A-Za-z]*|qt[a-z]*/|windows\.h|shellapi\.h|shlobj\.h|commctrl\.h|objbase\.h)'
failed=0

report() {
    echo "layer rule broken: $1"
    printf '%s\n' "$2" | sed 's/^/    /'
    failed=1
}

core=$(find osd size util digest -name '*.h' -o -name '*.cpp' -o -name '*.in' | sort)
window=$(find app -maxdepth 1 -name '*.h' -o -maxdepth 1 -name '*.cpp' | sort)
cli=$(find cli -name '*.h' -o -name '*.cpp' 2>/dev/null | sort || true)

# The Win32 file layer and the CNG digests are the platform's own
# implementations: they may include <windows.h>; no other core file does.
core_no_platform=$(printf '%s\n' $core | grep -vE '^(osd/osd_win32|digest/system_digest_cng)\.cpp$' || true)

if hits=$(grep -nE '#include[[:space:]]*"app/' $core); then report "the core includes app/" "$hits"; fi
if hits=$(grep -nE "$toolkit" $core_no_platform); then report "the core includes a toolkit header" "$hits"; fi
# The window's View type: a reference, a pointer, a declaration or its header.
if hits=$(grep -nE '(^|[^:A-Za-z_])View[[:space:]]*[&*]|class[[:space:]]+View\b|view\.h"' $core); then
    report "the core speaks of View" "$hits"
fi
if hits=$(grep -nE "$toolkit" $window); then report "app/ (toolkit-free) includes a toolkit header" "$hits"; fi
if [ -n "$cli" ]; then
    if hits=$(grep -nE '#include[[:space:]]*"app/' $cli); then report "cli/ includes app/" "$hits"; fi
    if hits=$(grep -nE '#include[[:space:]]*[<"](Q[A-Za-z]*|qt[a-z]*/)' $cli); then report "cli/ includes Qt" "$hits"; fi
fi

if [ "$failed" -eq 0 ]; then
    echo "layers: core $(printf '%s\n' $core | wc -l) files, window logic $(printf '%s\n' $window | wc -l) files, cli $(printf '%s\n' $cli | grep -c . || true) files: rule holds"
fi
exit "$failed"
