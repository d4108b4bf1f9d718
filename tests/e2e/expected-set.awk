# Reads an installation script (UTF-8) and prints, for the installation type given as
# -v type=FULL|TYPICAL|MINIMAL|NONE|"GROUPS n n ...", what an unattended run must leave behind:
#   present|absent <TAB> file|dir <TAB> folder kind <TAB> path <TAB> FILE item number
# A group is selected under FULL and NONE (no type applied keeps the script's selection, all),
# and under TYPICAL and MINIMAL when its own column says so; parents are not consulted. Under
# GROUPS, exactly the groups listed.
# A record of a selected group is present, except a temporary file, which is deleted again.
function value() { return substr($0, index($0, " = ") + 3) }
{ sub(/\r$/, "") }
/^GROUP = / { split(value(), g, " "); kind[g[1]] = g[6]
              sel[g[1]] = type == "TYPICAL" ? g[4] != 0 : type == "MINIMAL" ? g[5] != 0 : \
                          type ~ /^GROUPS / ? index(type " ", " " g[1] " ") > 0 : 1 }
/^FILE = /  { split(value(), f, " "); n = ++records; what[n] = "file"; item[n] = f[1]; group[n] = f[2]; temp[n] = f[5] != 0 }
/^DIR = /   { split(value(), d, " "); n = ++records; what[n] = "dir"; item[n] = d[1]; group[n] = d[2]; temp[n] = 0; lastdir = n }
/^FILEPATH = / { for (i = records; i > 0 && what[i] != "file"; i--); if (i) path[i] = value() }
/^DIRPATH = /  { if (lastdir) path[lastdir] = value() }
END {
  for (i = 1; i <= records; i++)
    printf "%s\t%s\t%s\t%s\t%s\n", (sel[group[i]] && !temp[i]) ? "present" : "absent", what[i], kind[group[i]], path[i], item[i]
}
