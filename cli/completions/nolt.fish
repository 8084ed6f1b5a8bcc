# fish completion for nolt
set -l commands search show add open taste brief notes note spaces collections mcp help

complete -c nolt -f
# Each command and what it does, in pairs.
set -l descriptions \
    search      'Search the library' \
    show        'Everything about one item' \
    add         'Save links or files to the Inbox' \
    open        'Show the item in Nolt' \
    taste       'Your taste' \
    brief       'A design brief from a collection' \
    notes       'Your notes in full' \
    note        'Save a note' \
    spaces      'List spaces' \
    collections 'List collections' \
    mcp         'Run the MCP server for agents' \
    help        'Show the usage'
for i in (seq 1 2 (count $descriptions))
    complete -c nolt -n "not __fish_seen_subcommand_from $commands" -a $descriptions[$i] \
        -d $descriptions[(math $i + 1)]
end
complete -c nolt -n "not __fish_seen_subcommand_from $commands" -l help -d 'Show the usage'
complete -c nolt -n "not __fish_seen_subcommand_from $commands" -l version -d 'Show the version'

complete -c nolt -n "__fish_seen_subcommand_from search add taste brief notes note collections" -l space -x -d 'Only this space'
complete -c nolt -n "__fish_seen_subcommand_from search add taste notes note" -l collection -x -d 'Only this collection'
complete -c nolt -n "__fish_seen_subcommand_from search" -l limit -x -d 'How many (default 20)'
complete -c nolt -n "__fish_seen_subcommand_from add note" -l tag -x -d 'Add a tag (repeat for more)'
complete -c nolt -n "__fish_seen_subcommand_from add" -l note -x -d 'Attach a note'
complete -c nolt -n "__fish_seen_subcommand_from notes" -l rules -d 'Only the notes marked as rules'
complete -c nolt -n "__fish_seen_subcommand_from note" -l rule -d 'Mark it as a rule for agents'
complete -c nolt -n "__fish_seen_subcommand_from search notes spaces collections" -l json -d 'Print raw JSON'
complete -c nolt -n "__fish_seen_subcommand_from add" -F
