# ports.sh -- sourced by the benchmark scripts: finding a free loopback port and waiting for a server on it.

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# A port nobody listens on now, from a range that ephemeral client ports do not use.
free_port() {
    local port
    for _ in $(seq 100); do
        port=$((20000 + RANDOM % 12000))
        listening "$port" || { echo "$port"; return; }
    done
    echo "no free port found" >&2
    exit 1
}

wait_listening() {
    for _ in $(seq 200); do
        listening "$1" && return 0
        sleep 0.05
    done
    echo "nothing listens on port $1" >&2
    exit 1
}
