# A real ftplib client for the server tests:
#   ftpclient.py PORT passive|active get|put|append REMOTE LOCAL ENCODING [PAUSE]
# PAUSE: seconds to sleep after each 64 KiB block sent (a slow uploader).
import ftplib
import sys
import time

port, mode, op, remote, local, encoding = sys.argv[1:7]
pause = float(sys.argv[7]) if len(sys.argv) > 7 else 0.0
ftp = ftplib.FTP(encoding=encoding, timeout=30)
ftp.connect('127.0.0.1', int(port))
ftp.login('office', 'secret')
ftp.set_pasv(mode == 'passive')
if op == 'get':
    with open(local, 'wb') as f:
        ftp.retrbinary('RETR ' + remote, f.write)
else:
    with open(local, 'rb') as f:
        ftp.storbinary(('STOR ' if op == 'put' else 'APPE ') + remote, f, 65536,
                       (lambda block: time.sleep(pause)) if pause > 0 else None)
ftp.quit()
