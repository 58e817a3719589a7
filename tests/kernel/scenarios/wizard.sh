# The Qt wizard on Xvfb in the guest: the adapter plugged in on page 1 brings page 3 connected,
# and a whole update ends on the success indicators.
. "$(dirname "$0")/../guest_lib.sh"
start_udev
python3 "$(dirname "$0")/../wizard_guest.py" --bin "$bin" --flash "$OSTREL_SOURCE/payload/flash.bin" \
    --data "$OSTREL_SOURCE/payload/data.bin" --shots /ostrel-results/shots --work "$work"
check "the wizard connects on the plug-in and completes the update" [ $? -eq 0 ]
finish
