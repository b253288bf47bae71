#!/bin/sh
# A scripted pinentry: GETPIN, CONFIRM and MESSAGE take the next line of $FAKE_PINENTRY_ANSWERS
# ("CANCEL", "OK" or a PIN; none left means CANCEL); every command is appended to
# $FAKE_PINENTRY_LOG. GETPIN answered by "WAIT" is a user who never answers: the program logs
# "PID <its process id>" and sleeps.
take() {
  answer=$(head -n 1 "$FAKE_PINENTRY_ANSWERS" 2>/dev/null)
  sed -i 1d "$FAKE_PINENTRY_ANSWERS" 2>/dev/null
  [ -n "$answer" ] || answer=CANCEL
}
echo "OK Pleased to meet you"
while IFS= read -r line; do
  printf '%s\n' "$line" >>"$FAKE_PINENTRY_LOG"
  case "$line" in
    GETPIN)
      take
      if [ "$answer" = WAIT ]; then echo "PID $$" >>"$FAKE_PINENTRY_LOG"; exec sleep 60; fi
      if [ "$answer" = CANCEL ]; then echo "ERR 83886179 Operation cancelled"
      else printf 'D %s\nOK\n' "$answer"; fi ;;
    CONFIRM|MESSAGE)
      take
      if [ "$answer" = OK ]; then echo OK; else echo "ERR 83886179 Operation cancelled"; fi ;;
    BYE) echo "OK closing connection"; exit 0 ;;
    *) echo OK ;;
  esac
done
