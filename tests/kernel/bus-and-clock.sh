# Sourced by both kernel tests once their options are read (`bus`, and
# `program` for messages): vlmsim-uhid's option for the bus and its name in
# vlmsim-uhid's lines, and the clock of the summary line.
case "$bus" in
  usb) bridge_bus="" bus_name="USB" ;;
  i2c) bridge_bus="--i2c" bus_name="I2C" ;;
  *) echo "$program: --bus usb or i2c" >&2; exit 2 ;;
esac
now_ms() { echo $(($(date +%s%N) / 1000000)); }
seconds_since() { awk -v a="$1" -v b="$(now_ms)" 'BEGIN { printf "%.1f", (b - a) / 1000 }'; }
