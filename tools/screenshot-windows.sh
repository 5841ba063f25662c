#!/usr/bin/env bash
# Makes docs/screenshot-windows.png: padflash.exe under Wine, in a virtual
# X display (Xvfb), after a successful update of a simulated controller with
# the verbose pane open, cut out of the screen with ImageMagick's import.
#
#   tools/screenshot-windows.sh        (builds what it needs in build/windows)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
"$root/tools/install-deps.sh"
cmake --preset windows >/dev/null
cmake --build --preset windows --target screenshot_pilot padflash VLMHID_sim vlmsim
"$root/tools/wine-prefix"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cat >"$work/shoot.sh" <<SHOOT
#!/usr/bin/env bash
set -euo pipefail
cd "$work"
"$root/tools/wine-run" "$root/build/windows/bin/screenshot_pilot.exe" >rect.txt &
pilot=\$!
for _ in \$(seq 600); do
  [ -s rect.txt ] && break
  kill -0 \$pilot 2>/dev/null || break
  sleep 0.5
done
read -r x y w h < <(tr -d "\\r" <rect.txt)
import -window root -crop "\${w}x\${h}+\${x}+\${y}" +repage "$root/docs/screenshot-windows.png"
touch shot-taken
wait \$pilot
SHOOT
chmod +x "$work/shoot.sh"
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$work/shoot.sh"
echo "wrote docs/screenshot-windows.png"
