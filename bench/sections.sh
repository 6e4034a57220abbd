# Results files that more than one benchmark writes: each script owns the
# sections between its own marker lines and leaves the rest alone.
#
#   put_section FILE NAME BODY-FILE
#       replaces the section NAME of FILE by BODY-FILE, or appends it
#   keep_sections OLD NEW
#       appends to NEW every section of OLD that NEW does not have, so that
#       a script that writes a whole file keeps the others' sections

section_begin() { echo "<!-- section $1 -->"; }
section_end() { echo "<!-- end of section $1 -->"; }

put_section() {
    local file=$1 name=$2 body=$3 begin end
    begin=$(section_begin "$name")
    end=$(section_end "$name")
    touch "$file"
    awk -v b="$begin" -v e="$end" '$0 == b { skip = 1 } !skip { print } $0 == e { skip = 0 }' "$file" >"$file.new"
    { echo "$begin"; cat "$body"; echo "$end"; } >>"$file.new"
    mv "$file.new" "$file"
}

keep_sections() {
    local old=$1 new=$2 name
    [ -f "$old" ] || return 0
    for name in $(sed -n 's/^<!-- section \(.*\) -->$/\1/p' "$old"); do
        grep -qxF "$(section_begin "$name")" "$new" && continue
        awk -v b="$(section_begin "$name")" -v e="$(section_end "$name")" \
            '$0 == b { keep = 1 } keep { print } $0 == e { keep = 0 }' "$old" >>"$new"
    done
}
