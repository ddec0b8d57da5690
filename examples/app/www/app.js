// The sample page: one call to the "Echo" service over each channel of the
// bridge, in turn, each checked against its answer.
(function () {
    var channels = [
        { name: 'hybrid-scheme', mode: hybrid.exec.bridgeModes.HYBRID_SCHEME },
        { name: 'fragment', mode: hybrid.exec.bridgeModes.FRAGMENT },
        { name: 'xhr', mode: hybrid.exec.bridgeModes.XHR }
    ];
    var answered = 0;

    function tryChannel(index) {
        if (index >= channels.length) {
            console.log('sample app: ' + (answered === channels.length ? 'ready' : 'not ready'));
            return;
        }
        var channel = channels[index];
        var token = 'hello over ' + channel.name;
        var settled = false;
        function settle(outcome) {
            if (settled) return;
            settled = true;
            console.log('poke ' + channel.name + ': ' + outcome);
            tryChannel(index + 1);
        }
        hybrid.exec.setJsToNativeBridgeMode(channel.mode);
        hybrid.exec(function (message) {
            if (message && message[0] === token) {
                answered++;
                settle('ok');
            } else {
                settle('failed unexpected answer ' + JSON.stringify(message));
            }
        }, function (error) {
            settle('failed ' + JSON.stringify(error));
        }, 'Echo', 'echo', [token]);
        setTimeout(function () { settle('failed no answer within 5 s'); }, 5000);
    }

    document.addEventListener('deviceready', function () { tryChannel(0); }, false);
})();

// The account and its gesture password. The app shell asks nickname() and
// passcode() when the app comes back to the foreground, and shows the lock
// when both answer something.
var account = { name: 'demo', passcode: '' };

function nickname() { return account.name; }
function passcode() { return account.passcode; }
function logout() {
    account.passcode = '';
    console.log('lock: logged out');
}

// Draw a new gesture password twice on the lock screen.
function setGesturePassword() {
    hybrid.exec(function (pattern) {
        account.passcode = pattern;
        console.log('lock: pattern set ' + pattern);
    }, function (error) {
        console.log('lock: setting the pattern failed ' + JSON.stringify(error));
    }, 'LockPattern', 'showSecurityGrid', [account.name, null, '0']);
}

// The lock the app shell shows answers with no callback of ours.
(function () {
    var callbackSuccess = hybrid.callbackSuccess;
    hybrid.callbackSuccess = function (callbackId, result) {
        if (!hybrid.callbacks[callbackId]) {
            console.log('lock: unlocked' + (result && result.message ? ' with pattern ' + result.message : ''));
        }
        return callbackSuccess(callbackId, result);
    };
})();
