# A whole update at the default 9600 baud.
baud=9600
. "$(dirname "$0")/../whole_update.sh"
