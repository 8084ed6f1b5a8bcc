# bash completion for nolt
_nolt() {
  local cur prev words cword
  _init_completion || return

  local commands="search show add open taste brief notes note spaces collections mcp help"
  # Options that take a value; the next word is theirs.
  case $prev in
    --space | --collection | --tag | --note | --limit)
      return
      ;;
  esac

  local command="" i
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      --json | --rules | --rule) ;;
      --*) ((i++)) ;;
      *)
        command=${words[i]}
        break
        ;;
    esac
  done

  if [[ -z $command ]]; then
    if [[ $cur == --* ]]; then
      COMPREPLY=($(compgen -W "--json --help" -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    fi
    return
  fi

  local options=""
  case $command in
    search) options="--space --collection --limit --json" ;;
    add) options="--space --collection --tag --note" ;;
    taste) options="--space --collection" ;;
    brief) options="--space" ;;
    notes) options="--space --collection --rules --json" ;;
    note) options="--space --collection --tag --rule" ;;
    spaces) options="--json" ;;
    collections) options="--space --json" ;;
  esac
  if [[ $cur == --* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  elif [[ $command == add ]]; then
    _filedir '@(png|jpg|jpeg|gif|webp|heic|heif|avif|tiff|tif|bmp|svg|ico|mov|mp4|m4v|webm|mkv|avi|mpg|mpeg|pdf|PNG|JPG|JPEG|GIF|WEBP|HEIC|MOV|MP4|PDF)'
  fi
} && complete -F _nolt nolt
