# Sourced by the job vm_test.py puts in the guest: the cases one at a time, each marked in QEMU's
# trace; their facts ("KEY HEX" lines) kept until the end, so that COM1, the console, stays silent.
echo "@up $(cut -d ' ' -f 1 /proc/uptime)"
exec 3>/dev/console >/tmp/results 2>&1
# Every open of a port, with the kernel's time.
mount -t tracefs tracefs /sys/kernel/tracing
echo 'p:vm/open do_sys_openat2 path=+0(%si):ustring' >/sys/kernel/tracing/kprobe_events
echo 'path ~ "/dev/tty[SU]*"' >/sys/kernel/tracing/events/vm/open/filter
echo 1 >/sys/kernel/tracing/events/vm/open/enable
fact() { echo "$1 $(shift; "$@" 2>&1 | xxd -p | tr -d '\n')"; }
# From here the trace is case $1's (0: nobody's): a write to COM1's scratch register.
tag() { printf "\\$(printf %o "$1")" | dd of=/dev/port bs=1 seek=1023 2>/dev/null; }
# A command, with $during done meanwhile ($job its pid), and what it left.
run() {
    "$@" >/tmp/out 2>/tmp/err & job=$!
    eval "$during"
    wait $job
    fact status printf %d $?
    fact out cat /tmp/out
    fact err cat /tmp/err
    fact log cat log.txt
}
# Whether port $1 has been opened in this case.
opened() { grep -q "\"/dev/$1\"" /sys/kernel/tracing/trace; }
# Case $1: its commands $2.
case_() {
    n=$1
    echo "case $n"
    echo >/sys/kernel/tracing/trace
    tag "$n"; eval "$2"; tag 0
    fact opens sed -n 's|.* \([0-9.]*\): open: .*path="/dev/\(.*\)"|\1 \2|p' /sys/kernel/tracing/trace
}
finish() { echo "@results" && cat /tmp/results; } >&3
