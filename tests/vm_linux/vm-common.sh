# What the kernel HID tests' runners share; sourced, after setting `name` (the test's name in what
# they print), `kit`, `work` and `vm_limit`. Exit 77 means skipped.

# Under CI scripts/setup-deps installs every tool of these tests and scripts/test builds the mingw
# preset before them, so anything missing is a fault.
skip() {
  if [ "${CI:-}" = true ]; then
    echo "$name: failed: $* (CI=true: it should be there)"
    exit 1
  fi
  echo "$name: skipped: $*"
  exit 77
}

# Skips unless QEMU, the kit and what the initramfs is made of are there; sets `qemu`, `busybox`.
require_vm_tools() {
  [ -f "$kit/.complete-9p" ] || skip "no kernel kit in $kit (scripts/kernel-kit makes it)"
  qemu="$(command -v qemu-system-x86_64)" || skip "qemu-system-x86_64 is not installed"
  # The initramfs has no libraries for busybox: it must be the static build.
  busybox=/bin/busybox
  if [ ! -x "$busybox" ] || ldd "$busybox" >/dev/null 2>&1; then skip "busybox-static is not installed"; fi
  command -v cpio >/dev/null || skip "cpio is not installed"
}

# A fresh initramfs tree in $root with busybox and the kit's modules (and their load order).
start_initramfs() {
  rm -rf "$work"
  root="$work/root"
  mkdir -p "$root"/{bin,dev,proc,sys,run,tmp,etc,modules,guest}
  cp "$busybox" "$root/bin/busybox"
  cp "$kit"/modules/* "$root/modules/"
}

# Copies a program and every library it loads to the same paths inside the initramfs.
add_program() {
  local program="$1" target="$2"
  cp -L "$program" "$root/$target"
  ldd "$program" 2>/dev/null | awk '{for (i = 1; i <= NF; i++) if ($i ~ /^\//) print $i}' |
    while read -r lib; do
      mkdir -p "$root/$(dirname "$lib")"
      cp -L "$lib" "$root/$lib"
    done
}

# Packs $root with its /init and boots it for at most $vm_limit seconds (a hang guard); extra
# arguments go to QEMU. Software emulation: it runs wherever QEMU does, and on nested machines KVM
# has been seen to hang the kernel at boot.
boot() {
  chmod +x "$root/init"
  (cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initramfs.gz" || exit 1
  timeout "$vm_limit" "$qemu" -accel tcg -nographic -no-reboot -kernel "$kit/vmlinuz" -initrd "$work/initramfs.gz" \
    -append "console=ttyS0 quiet panic=-1 oops=panic" "$@" >"$work/console.log" 2>&1
  status=$?
}

# Passes when the guest printed its pass line; prints the result lines, and on failure the end of
# the console log.
verdict() {
  grep -a -E "$1" "$work/console.log" | head -40
  if grep -a -q "VORN-GUEST-RESULT: pass" "$work/console.log"; then
    echo "$name: passed (console: $work/console.log)"
    exit 0
  fi
  echo "$name: failed, qemu exit $status (console: $work/console.log)"
  tail -30 "$work/console.log"
  exit 1
}
