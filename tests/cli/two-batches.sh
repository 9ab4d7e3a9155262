#!/bin/bash
# Two batches of the tool at once, one per port, appending to one record: each must find every
# one of its lines there, whole.
# Usage: two-batches.sh RECORD UPLOADS PARAMETER-FILE PORT PORT -- TOOL...
set -u
record=$1 uploads=$2 parameters=$3 ports=("$4" "$5")
shift 6
rm -f "$record"
for port in "${ports[@]}"; do
    { for ((i = 1; i < uploads; i++)); do echo; done; echo q; } |
        "$@" upload --port "$port" "$parameters" --repeat --log "$record" >/dev/null 2>&1 &
done
wait
lines=$(tr -d '\r' <"$record") # CR LF ends, as the C run-time's text mode writes them, are fine
status=0
for port in "${ports[@]}"; do
    whole=$(grep -c "^{\"time\":\"[^\"]*\",\"port\":\"$port\",\"frame\":\"[0-9A-F]\{38\}\",.*}$" <<<"$lines")
    if [ "$whole" != "$uploads" ]; then
        echo "$port: $whole whole lines of $uploads in the record" >&2
        status=1
    fi
done
if [ "$(grep -c '' <<<"$lines")" != $((2 * uploads)) ]; then
    echo "lines that are no entries:" >&2
    grep -v '^{"time"' <<<"$lines" >&2
    status=1
fi
exit $status
