# fish completion for nolt
set -l commands search show add open taste brief notes note spaces collections mcp help

complete -c nolt -f
complete -c nolt -n "not __fish_seen_subcommand_from $commands" -a search -d 'Search the library'
complete -c nolt -n "not __fish_seen_subcommand_from $commands" -a show -d 'Everything about one item'
complete -c nolt -n "not __fish_seen_subcommand_from $commands" -a add -d 'Save links or files to the Inbox'
complete -c nolt -n "not __fish_seen_subcommand_from $commands" -a open -d 'Show the item in Nolt'
complete -c nolt -n "not __fish_seen_subcommand_from $commands" -a taste -d 'Your taste'
complete -c nolt -n "not __fish_seen_subcommand_from $commands" -a brief -d 'A design brief from a collection'
complete -c nolt -n "not __fish_seen_subcommand_from $commands" -a notes -d 'Your notes in full'
complete -c nolt -n "not __fish_seen_subcommand_from $commands" -a note -d 'Save a note'
complete -c nolt -n "not __fish_seen_subcommand_from $commands" -a spaces -d 'List spaces'
complete -c nolt -n "not __fish_seen_subcommand_from $commands" -a collections -d 'List collections'
complete -c nolt -n "not __fish_seen_subcommand_from $commands" -a mcp -d 'Run the MCP server for agents'
complete -c nolt -n "not __fish_seen_subcommand_from $commands" -a help -d 'Show the usage'

complete -c nolt -n "__fish_seen_subcommand_from search add taste brief notes note collections" -l space -x -d 'Only this space'
complete -c nolt -n "__fish_seen_subcommand_from search add taste notes note" -l collection -x -d 'Only this collection'
complete -c nolt -n "__fish_seen_subcommand_from search" -l limit -x -d 'How many (default 20)'
complete -c nolt -n "__fish_seen_subcommand_from add note" -l tag -x -d 'Add a tag (repeat for more)'
complete -c nolt -n "__fish_seen_subcommand_from add" -l note -x -d 'Attach a note'
complete -c nolt -n "__fish_seen_subcommand_from notes" -l rules -d 'Only the notes marked as rules'
complete -c nolt -n "__fish_seen_subcommand_from note" -l rule -d 'Mark it as a rule for agents'
complete -c nolt -n "__fish_seen_subcommand_from search notes spaces collections" -l json -d 'Print raw JSON'
complete -c nolt -n "__fish_seen_subcommand_from add" -F
