#!/bin/busybox sh
# The guest's first process (tools/vm/boot.sh): the little of a system that comutel needs, the
# USB drivers where the image has them, then the image's job, or a shell; then power off.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts
mount -t devpts devpts /dev/pts
mount -t tmpfs run /run
mkdir /run/lock
mount -t tmpfs tmp /tmp
if [ -f /modules/order ]; then
    for module in $(cat /modules/order); do
        insmod "/modules/$module.ko"
    done
    # The adapter is found a moment after its driver is in.
    tries=0
    while [ ! -e /dev/ttyUSB0 ] && [ $tries -lt 100 ]; do
        sleep 0.05
        tries=$((tries + 1))
    done
fi
cd /opt
if [ -f /job ]; then
    sh /job
else
    echo "comutel em /opt; COM1 é este console; exit desliga"
    [ ! -f /modules/order ] || echo "plug out e plug in desconectam e reconectam o adaptador USB"
    setsid cttyhack sh -l
fi
poweroff -f
