# A whole update at 115200 baud.
baud=115200
. "$(dirname "$0")/../whole_update.sh"
