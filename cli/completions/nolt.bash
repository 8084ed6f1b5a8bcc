# bash completion for nolt
_nolt() {
  # Plain COMP_WORDS, so that the script works without the bash-completion package too.
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local -a words=("${COMP_WORDS[@]}")
  local cword=$COMP_CWORD

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
      COMPREPLY=($(compgen -W "--json --help --version" -- "$cur"))
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
    if declare -F _filedir >/dev/null; then
      _filedir '@(png|jpg|jpeg|gif|webp|heic|heif|avif|tiff|tif|bmp|svg|ico|mov|mp4|m4v|webm|mkv|avi|mpg|mpeg|pdf|PNG|JPG|JPEG|GIF|WEBP|HEIC|MOV|MP4|PDF)'
    else
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -f -- "$cur"))
    fi
  fi
} && complete -F _nolt nolt
