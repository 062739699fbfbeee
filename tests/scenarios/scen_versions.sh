#!/usr/bin/env bash
# One installation and one uninstallation under each Windows version that Wine
# emulates for our targets, one after the other in the same prefix: each
# installs everything, and each uninstallation removes it again. Activation
# switches the screen saver on for good everywhere, and on the NT family also
# names it in the desktop settings, where those systems look for it.
source "$(dirname "$0")/scen.sh"
scen_begin "$@"

declare -A expected_ver=([win95]='4.0.' [win98]='4.10.' [winme]='4.90.' [nt40]='4.0.1381'
                         [win2k]='5.0.2195' [winxp]='5.1.2600' [default]='6.1.7601')
for version in win95 win98 winme nt40 win2k winxp default; do
  if [ "$version" = default ]; then
    timeout "$(scaled 30)" wine reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1
  else
    e2e_winver "$version"
  fi
  ver=$(timeout "$(scaled 30)" wine cmd /c ver 2>/dev/null | tr -d '\r' | grep -o 'Windows [0-9.]*')
  [[ $ver == "Windows ${expected_ver[$version]}"* ]] || e2e_fail "$version: the system says '$ver'"
  size=$(report_size)
  timeout "$(scaled 30)" wine reg add "$DESKTOP_KEY" /v ScreenSaveActive /t REG_SZ /d 0 /f >/dev/null 2>&1
  install_ok "$version-install" 1
  expect_installed "$version" 1 "$size"
  expect_reg "$DESKTOP_KEY" ScreenSaveActive 'REG_SZ|1' "$version"
  case $version in
    win9*|winme) expect_no_reg "$DESKTOP_KEY" SCRNSAVE.EXE "$version" ;;
    *) expect_reg "$DESKTOP_KEY" SCRNSAVE.EXE "REG_SZ|$(ini_value boot SCRNSAVE.EXE)" "$version" ;;
  esac
  size=$(report_size)
  uninstall "$version-uninstall"
  expect_report_since "$size"
  expect_uninstalled "$version"
done
e2e_pass
