# Reading mapbench's CSV files in awk (sourced with -f before the program that uses it).
# split_csv(line) splits a line into value[1..n] and returns n; a field in double quotes may
# hold commas and doubled quotes (RFC 4180), as a key set's file name can. After a header line
# (it starts with "map,") has been read with read_header(n), field(name) is the value of the
# named column in the line split last, or "" where the file has no such column.
function split_csv(line,    n, i, c, quoted) {
  split("", value)
  n = 1
  value[1] = ""
  quoted = 0
  for (i = 1; i <= length(line); i++) {
    c = substr(line, i, 1)
    if (quoted && c == "\"" && substr(line, i + 1, 1) == "\"") { value[n] = value[n] c; i++ }
    else if (c == "\"") quoted = !quoted
    else if (c == "," && !quoted) value[++n] = ""
    else value[n] = value[n] c
  }
  return n
}
function read_header(n,    i) {
  split("", column)
  for (i = 1; i <= n; i++) column[value[i]] = i
}
function field(name) { return (name in column) ? value[column[name]] : "" }
