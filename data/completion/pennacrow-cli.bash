# bash completion for pennacrow-cli
_pennacrow_cli() {
  local cur prev command
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
  local commands="info hide reveal encrypt decrypt convert fractal formats analyze version"
  local pictures='@(bmp|png|jpg|jpeg|jpe|jfif|gif|tif|tiff|fax|tga|win|vst|vda|icb|pcx|pcc|scr|psd|pdd|psp|sgi|rgb|rgba|bw|rla|rpf|ppm|pgm|pbm|cel|pic|pcd|cut|eps|ico|wmf|emf|rle|dib)'
  if [ "$COMP_CWORD" -eq 1 ]; then
    COMPREPLY=($(compgen -W "$commands --help --version -V" -- "$cur"))
    return
  fi
  command=${COMP_WORDS[1]}
  case $prev in
    -o)
      if [ "$command" = hide ]; then _filedir '@(bmp|png|jpg|jpeg|BMP|PNG|JPG|JPEG)'; else _filedir '@(bmp|png|BMP|PNG)'; fi
      return ;;
    --text-file | --password-file | --file) _filedir; return ;;
    --over) _filedir "$pictures"; return ;;
    --format)
      case $command in
        info | reveal) COMPREPLY=($(compgen -W "bmp png jpg gif tif tga pcx psd psp sgi rla ppm pgm pbm cel pcd cut eps ico wmf emf" -- "$cur")) ;;
        hide) COMPREPLY=($(compgen -W "bmp png jpeg" -- "$cur")) ;;
        *) COMPREPLY=($(compgen -W "bmp png" -- "$cur")) ;;
      esac
      return ;;
    --text | --size | --iterations | --seed | --jobs) return ;;
  esac
  local options="--help"
  case $command in
    info) options+=" --json --format" ;;
    hide) options+=" -o --text --text-file --encrypt --password-file --raw --stealth --seal --adaptive --strip-metadata --file --format" ;;
    reveal) options+=" -o --decrypt --password-file --raw --force --save-file --adaptive --format" ;;
    encrypt | decrypt) options+=" --password-file" ;;
    convert) options+=" --format" ;;
    fractal) options+=" -o --size --iterations --seed --over --format" ;;
    formats) options+=" --filter" ;;
    analyze) options+=" --json --jobs -r" ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  elif [ "$command" = fractal ] && [ "$COMP_CWORD" -eq 2 ]; then
    COMPREPLY=($(compgen -W "mandelbrot julia moire sierpinski fern leaf curl koch" -- "$cur"))
  else
    _filedir
  fi
} &&
  complete -F _pennacrow_cli pennacrow-cli
