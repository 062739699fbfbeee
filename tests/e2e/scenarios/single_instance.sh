#!/usr/bin/env bash
# One installer at a time: while one runs, a second copy (under the setup
# program's name or the uninstaller's) shows nothing, brings the running
# installer's window to the front and ends with exit code 1618.
source "$(dirname "$0")/../lib.sh"
e2e_begin "$@"
setup='C:\Setup\Zelto2000Setup.exe'
e2e_put "$E2E_PROGRAM" "$setup"
e2e_put "$E2E_PROGRAM" 'C:\windows\vmbUninst.exe'

e2e_start first -t 90 "$setup"
e2e_robot "window class=vimbaInstaller title=\"Zelto 2000 Setup\" timeout=15000" "assert maximized=1"
first_pid=$(e2e_field window pid)
e2e_shot first

# Another program's window takes the foreground; then each second copy starts
# while a robot watches for any window of a process other than the first.
e2e_start decoy "$E2E_FIXTURE"
for second in "$setup" 'C:\windows\vmbUninst.exe'; do
  e2e_robot "window class=ZeltoFixture timeout=20000" "front" "wait foreground=1"
  e2e_robot_bg watch "absent exe=${second##*\\} pid!=$first_pid for=3000"
  e2e_start second -t 30 "$second"
  e2e_expect_exit second 1618 20
  e2e_robot_join watch
  e2e_robot "window class=vimbaInstaller title=\"Zelto 2000 Setup\"" \
    "assert pid=$first_pid foreground=1 maximized=1"
  e2e_expect_running first
done
e2e_shot after-second
e2e_pass
